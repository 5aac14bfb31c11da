#define SIZE 16 /* bytes */
	.space	SIZE	/* a comment
	   over two lines */
	.word	SIZE	// SIZE in a line comment
	.word	SIZE	@ SIZE after an at sign
	.word	SIZE	; SIZE after a semicolon
# SIZE in a hash comment
	.word	SIZE	// a line comment does not hide /* SIZE
	.word	SIZE */ SIZE
