#include "gui/canvas.h"

float canvasWidth = (float)CANVAS_WIDTH;
float canvasHeight = (float)CANVAS_HEIGHT;
