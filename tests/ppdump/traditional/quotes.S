#define MSG can't stop
#define NAME reg
	.ascii	"NAME"		@ NAME inside a string
	mov	r0, #'N'	@ it's NAME after an apostrophe
	.word	NAME		@ NAME after a closed quote
	MSG NAME
	.ascii	"unbalanced NAME
	.word	NAME
