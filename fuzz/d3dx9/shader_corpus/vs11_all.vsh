vs.1.1
#define LIGHT c20
dcl_position v0
dcl_normal v1
dcl_texcoord2 v2
def c95, 1, -0.5, 0.25, 1e+06
mov r0, v0
mov r1, c1
mov a0.x, c0.x
add r2, r0, -c3
sub r2.xz, r1.yxwz, v0.w
mul r3.y, r0.x, c[a0.x + 4]
mad r4, v0, c5.x, r0
rcp r5.w, r0.y
rsq r5.x, -c6.z
dp3 r6.x, r0, LIGHT
dp4 r6.yw, -r1, v0
min r7, r0.zwxy, c8
max r7, r7, v0.x
slt r8, r0, c9
sge r8.w, v0.x, r1
exp r9, r0.w
expp r9.xy, c10.y
log r10.z, v0.x
logp r10.w, r1.z
lit r11, r0
dst r11, r0, c11
frc r9.zw, r0
m4x4 oPos, r0, c12
m4x3 r2.xyz, v0, c16
m3x4 oT0, r1, c20
m3x3 oT1.xyz, r0, c24
m3x2 oT2.xy, v0, c28
mov oD0, c10[a0.x]
mov oD1.xw, r0.xxy
mov oFog, r0.w
mov oPts.x, c2.y
mov oT7, v1 /* block */
nop
