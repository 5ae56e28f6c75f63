#pragma once
// OpenGL for the editor's sources: GLEW first (it must precede gl.h). No
// GLU: the one projection it would give is built here, and the plug-in then
// needs no library beyond the system's GL.
#include <GL/glew.h>
