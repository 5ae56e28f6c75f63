// Filled in as the editor is built.
