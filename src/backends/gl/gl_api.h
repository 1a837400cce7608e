#pragma once
// The OpenGL 3.3 core entry points, linked directly from the system's libGL (its dispatcher
// forwards them to whichever context is current).
// Implements: the declarations of the core profile's functions for this backend's files. Not
// implemented: extensions and entry points looked up at run time, which the device does not use.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
