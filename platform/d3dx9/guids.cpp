/*
 * guids.cpp - the interface identifiers of D3DX, defined here once from the values the
 * headers give them.
 */
#define INITGUID
#include <d3dx9.h>
