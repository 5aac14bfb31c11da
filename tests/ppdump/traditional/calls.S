#define LOAD(reg, addr) ldr reg, =addr
#define PAIR(a, b) a, b
#define EMPTY()
#define TWICE(x) x; x
#define NOP nop
	LOAD(r0, buffer)
	LOAD(r1,
	     buffer + 4)
	stmdb	sp!, {PAIR(r4, r5)}
	push	{PAIR((r6), r7)}
	EMPTY() NOP
	TWICE(NOP)
	LOAD	@ the name alone stays
	.word	TWICE
