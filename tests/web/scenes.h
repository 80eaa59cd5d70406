// The scenes the layer's test draws twice, once through Mesa's desktop OpenGL and once through the
// layer on OpenGL ES 2, from one source (scenes.cpp) compiled both ways.
#pragma once

const int SCENE_WIDTH = 1000;
const int SCENE_HEIGHT = 750;

struct Scene {
    const char* name;
    void (*draw)(void);
};

const int SCENE_COUNT = 17;
extern const Scene desktopScenes[SCENE_COUNT];
extern const Scene layerScenes[SCENE_COUNT];

// State the layer keeps itself, read back after the same calls on either side: the matrices after
// a series of transforms, and the errors that misplaced calls raise, in order.
struct Queries {
    float modelview[16];
    float projection[16];
    int viewport[4];
    int largestViewport[4]; // after asking for one wider and higher than any window
    float colour[4];
    float pointSize;
    float lineWidth;
    unsigned errors[8];
};
extern void (*const desktopQueries)(Queries* answers);
extern void (*const layerQueries)(Queries* answers);
