// OpenGL 1.1's immediate mode over WebGL 1 (OpenGL ES 2): the calls the web backend makes around
// a context, and how the layer's entry points are named.
#pragma once

// In the browser the layer's entry points carry OpenGL's own names, so that code written for
// <GL/gl.h> links against them unchanged. A native build (the layer's test, which compares it
// with Mesa's desktop OpenGL in one program) defines GL11_PREFIXED and gets gl11_glBegin and so
// on, which cannot clash with libGL's names.
#ifdef GL11_PREFIXED
#define GL11_NAME(name) gl11_##name
#else
#define GL11_NAME(name) name
#endif

// Once a GLES2/WebGL context is current: makes the layer's shader program and vertex buffer, and
// takes the drawing buffer's size as the first viewport. False when the shaders do not build.
bool gl11Start(void);
// Draws the primitives the layer has gathered: before the drawing buffer is shown or read from
// outside the layer (a swap, a yield to the browser).
void gl11Flush(void);
// The context was lost: what the layer made on it is gone, and nothing is drawn until restored.
void gl11Lost(void);
// A context is current again after a loss: makes the program and buffer anew and puts back the
// state the layer passes through (viewport, clear colour). The OpenGL 1.1 state (matrices,
// colour, sizes) lives in the layer and survives a loss. False when the shaders do not build.
bool gl11Restore(void);
