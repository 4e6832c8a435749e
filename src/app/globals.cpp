/*
 * globals.cpp - the program's global objects, in their order of construction.
 *
 * They are built before WinMain in the order written here and destroyed after it returns
 * in the reverse order.  Keeping them in one translation unit makes that order certain:
 * the input devices are built first and released last, after the tear-down has already
 * released the DirectInput object.
 */
#include "anim/animation.h"
#include "fx/particles.h"
#include "input/input.h"
#include "scene/scene_object.h"
#include "world/camera.h"

CKeyboard g_keyboard;
CMouse g_mouse;
CCamera g_followCamera;
CCamera g_freeCamera;
CSceneObject g_character;
CSceneObject g_level;
CCharacterAnimations g_animations;
CParticleSystem g_smokeParticles;
CParticleSystem g_sparkParticles;
