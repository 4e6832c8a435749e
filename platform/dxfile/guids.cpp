/*
 * guids.cpp - storage for the interface and template GUIDs of dxfile.h and rmxfguid.h.
 */
#define INITGUID
#include <dxfile.h>
#include <rmxfguid.h>
