vs_1_1
dcl_position v0
mov r0.x, v0
add oPos, c0, c1
foo r1
