// The interface's virtual canvas: every 2D coordinate is in canvas units, origin top left.
#pragma once

enum { CANVAS_WIDTH = 4000, CANVAS_HEIGHT = 3000 };

// Size of the canvas as last set up for drawing (begin2d also hands it to the renderer's scissor
// mapping).
extern float canvasWidth;
extern float canvasHeight;
