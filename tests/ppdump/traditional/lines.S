#define HERE __LINE__
	.word	__LINE__
	.word	HERE

# 100 "elsewhere.S"
	.word	__LINE__
	.word	1$, 2$
	b	1f
1:	nop
