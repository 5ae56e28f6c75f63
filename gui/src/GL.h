#pragma once
// OpenGL for the editor's sources: GLEW first (it must precede gl.h), the
// fixed-function pipeline and GLU's perspective.
#include <GL/glew.h>
#include <GL/glu.h>
