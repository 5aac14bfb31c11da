/* Registers and offsets for an ARM routine, as assembler sources write them. */
#include "frame.h"
#define REG r1
#define SCRATCH r12
#define OFF(x) ((x) * FRAME_WORD)
# a line comment that names no directive
	.text
	.globl	copy_words
	.type	copy_words, %function
copy_words:			@ don't clobber REG here
	mov	REG, #OFF(3)
	ldr	SCRATCH, =$table
	add	r0, r0, #'a'
	ldr	r2, [sp, #OFF(1)]	// offset of the first word
#ifdef DEBUG
	bl	debug_trace
#endif
	bx	lr
	.ascii	"REG is not expanded"
	.size	copy_words, .-copy_words
