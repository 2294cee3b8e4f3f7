#pragma once

// How the window is drawn. Qt Quick's software renderer draws this program's pages (forms, tables and
// a chart, no shaders) in 1-5 ms a frame and starts without loading an OpenGL driver, which where the
// graphics are emulated on the processor costs about 150 ms of every start and 13-18 ms a frame. What
// the environment asks for (QT_QUICK_BACKEND, QSG_RHI_BACKEND) is kept, so a graphics card can still
// be chosen.
class RendererChoice
{
public:
    // True unless the environment names a renderer.
    static bool softwareWanted();
    // Before the first window is created.
    static void apply();
};
