/*
 * frame.h - the frame function: one update and draw of the whole scene.
 */
#ifndef TAVROK_APP_FRAME_H
#define TAVROK_APP_FRAME_H

void Render();

#endif
