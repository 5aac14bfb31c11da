#define STR(x) "x"
#define CAT(a, b) a/**/b
#define LABEL(n) L/**/n:
	.asciz	STR(hello)
	.word	CAT(val, ue)
LABEL(1)
	.ascii	"CAT(x, y) stays"
	.byte	'S', 'T'
