vs_2_0
dcl_position v0
dcl_blendweight v1
dcl_blendindices v2
def c200, 0, 1, 2, 3
mov r0, v0
mov r1, c1
mova a0, c0
mov r2, c[a0.y + 7]
add r2, r2, -c[a0.z + 255].yx
lrp r4, r0, r1, c3
pow r5.x, r0.x, c4.y
crs r6.xyz, r0, r1
abs r7, -r0
nrm r8, r0
m4x4 oPos, r0, c12
mov oT0.rg, v1
mov oD0, v2
