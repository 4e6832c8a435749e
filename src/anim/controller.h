/*
 * controller.h - the keyboard-driven character: attack and idle clips, axis-aligned
 * walking with gradual turning, the follow camera's swing, dust and sparks, and the step
 * back after running into the level.
 */
#ifndef TAVROK_ANIM_CONTROLLER_H
#define TAVROK_ANIM_CONTROLLER_H

#include <windows.h>

extern float g_charX;
extern float g_charZ;
extern DWORD g_lastSparkTime;

void SelectAction();
void UpdateCharacter();
void PushBack();

#endif
