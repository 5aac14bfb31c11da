#define ARCH 6
#define HAVE_VFP
#if ARCH >= 6 && defined(HAVE_VFP)
	vmov	s0, r0
#elif ARCH == 5
	mov	r0, r0
#else
	.error	"old core"
#endif
#ifndef HAVE_NEON
	@ no NEON
#endif
#undef HAVE_VFP
#ifdef HAVE_VFP
	vmov	s1, r1
#endif
#if 0
	this text's apostrophe and "quote do not matter
#endif
	.word	ARCH
