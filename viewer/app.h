// The running program: application state, engine start-up and shut-down in their fixed orders, the
// viewer's start-up, one frame, the viewer's shut-down and the main loop.
#pragma once
#include <cstdint>

#include "viewer/options.h"

enum { appStarting = 0, appRunning = 1, appQuitRequested = 2, appStopped = 3 };
extern int8_t appState;

// dataDirectory + "texture_import/": where imported images are converted and packed.
extern char imageImportDirectory[2048];
// The viewer's string table ("vorfre.txt"), or -1.
extern int32_t viewerStrings;
// The interface texture set ("inter.stf"), or -1.
extern int32_t interfaceSet;
// Frames run since start-up.
extern int32_t appFrameCount;

// appRunning -> appQuitRequested; other states stay. Returns the previous state.
int8_t requestQuit();
// Start-up and shut-down of every engine subsystem, in their fixed orders.
void engineStart();
void engineStop();
// The viewer's start-up (fills the window request from the options, starts the engine, loads the
// configuration and data files, builds the scene, resets the clock).
void appInit(const AppOptions* options);
// One frame: clock, resize, input, clear, camera, views, interface, the viewer's keys, swap, Ctrl+Q,
// quit handling.
void appFrame();
// The viewer's shut-down: releases the scene, writes vcv.cfg, stops the engine.
void appQuit();
// One turn of the main loop after the events were polled: a frame when a close was requested or the
// window is active, else a 1 ms sleep. Returns 1 when a frame ran.
int32_t mainLoopDispatch();
// Runs the main loop until the application has stopped; frames are paced to about 60 a second
// while nothing changes.
void runMainLoop();
// What the program returns: 0, or 1 when the window could not be opened or, in a scripted run
// (--frames or --screenshot), when the model gave nothing to show or the screenshot was not written.
int32_t appExitStatus();
