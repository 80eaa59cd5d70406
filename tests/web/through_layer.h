// Included first in every source the test compiles a second time to draw through the layer: the
// OpenGL calls go to the layer's prefixed entry points, and the drawing routines get names of
// their own beside the ones that draw through Mesa's desktop OpenGL.
#pragma once

#define GL11_PREFIXED

#define glBegin gl11_glBegin
#define glEnd gl11_glEnd
#define glVertex2d gl11_glVertex2d
#define glVertex2f gl11_glVertex2f
#define glVertex2i gl11_glVertex2i
#define glVertex3d gl11_glVertex3d
#define glVertex3f gl11_glVertex3f
#define glColor3d gl11_glColor3d
#define glColor3f gl11_glColor3f
#define glColor4f gl11_glColor4f
#define glColor3ub gl11_glColor3ub
#define glIndexi gl11_glIndexi
#define glClearIndex gl11_glClearIndex
#define glRectf gl11_glRectf
#define glRecti gl11_glRecti
#define glPointSize gl11_glPointSize
#define glLineWidth gl11_glLineWidth
#define glShadeModel gl11_glShadeModel
#define glMatrixMode gl11_glMatrixMode
#define glLoadIdentity gl11_glLoadIdentity
#define glOrtho gl11_glOrtho
#define glPushMatrix gl11_glPushMatrix
#define glPopMatrix gl11_glPopMatrix
#define glTranslatef gl11_glTranslatef
#define glTranslated gl11_glTranslated
#define glRotatef gl11_glRotatef
#define glScalef gl11_glScalef
#define glViewport gl11_glViewport
#define glClearColor gl11_glClearColor
#define glClear gl11_glClear
#define glDrawBuffer gl11_glDrawBuffer
#define glGetIntegerv gl11_glGetIntegerv
#define glGetFloatv gl11_glGetFloatv
#define glGetError gl11_glGetError
#define glEnable gl11_glEnable
#define glDisable gl11_glDisable
#define glFlush gl11_glFlush
#define glFinish gl11_glFinish

#define drawGrid layerDrawGrid
#define drawSidePanel layerDrawSidePanel
#define drawFood layerDrawFood
#define drawBonus layerDrawBonus
#define drawObstacles layerDrawObstacles
#define drawSerpent layerDrawSerpent
#define reshapeView layerReshapeView
#define SCENES layerScenes
#define QUERIES layerQueries
