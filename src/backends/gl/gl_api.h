#pragma once
// The OpenGL 3.3 core entry points, linked directly from the system's libGL (its dispatcher
// forwards them to whichever context is current).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
