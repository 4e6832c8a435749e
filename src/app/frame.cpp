/*
 * frame.cpp - the frame function.
 *
 * Runs the clock step of every frame; the scene's update and drawing join it as the
 * device and the models are built.
 */
#include "app/frame.h"

#include "app/timer.h"

void Render()
{
    UpdateFrameClocks();
}
