// A stand-in for the OpenGL 1.1 layer over WebGL, to be removed when that layer is merged: it
// lets the kit, the game and the examples link in the browser. The calls WebGL has itself
// (glClear, glClearColor, glViewport...) are WebGL's; the immediate-mode calls below draw
// nothing.
#include <GL/gl.h>

bool gl11Start(void) {
    return true;
}

void gl11Lost(void) {}

bool gl11Restore(void) {
    return true;
}

extern "C" {

void glBegin(GLenum mode) {
    (void)mode;
}
void glEnd(void) {}
void glVertex2f(GLfloat x, GLfloat y) {
    (void)x;
    (void)y;
}
void glVertex3d(GLdouble x, GLdouble y, GLdouble z) {
    (void)x;
    (void)y;
    (void)z;
}
void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
    (void)red;
    (void)green;
    (void)blue;
}
void glColor3d(GLdouble red, GLdouble green, GLdouble blue) {
    (void)red;
    (void)green;
    (void)blue;
}
void glIndexi(GLint index) {
    (void)index;
}
void glClearIndex(GLfloat index) {
    (void)index;
}
void glRectf(GLfloat x1, GLfloat y1, GLfloat x2, GLfloat y2) {
    (void)x1;
    (void)y1;
    (void)x2;
    (void)y2;
}
void glPointSize(GLfloat size) {
    (void)size;
}
void glDrawBuffer(GLenum mode) {
    (void)mode;
}
void glMatrixMode(GLenum mode) {
    (void)mode;
}
void glLoadIdentity(void) {}
void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble nearVal,
             GLdouble farVal) {
    (void)left;
    (void)right;
    (void)bottom;
    (void)top;
    (void)nearVal;
    (void)farVal;
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    (void)angle;
    (void)x;
    (void)y;
    (void)z;
}

} // extern "C"
