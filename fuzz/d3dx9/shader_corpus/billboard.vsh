// camera-facing quad
vs_1_1
dcl_position0 v0
dcl_position1 v1
dcl_color0 v2
dcl_texcoord0 v3
mov r0, v0
mad r0.xyz, c4.xyz, v1.x, r0.xyz
mad r0.xyz, c5.xyz, v1.y, r0.xyz
m4x4 oPos, r0, c0
mov oD0, v2
mov oT0.xy, v3
