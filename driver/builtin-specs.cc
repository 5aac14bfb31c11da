// The built-in spec texts: the named specs, the link command, the target
// specs, the configure-time option specs, the driver self specs and the
// compiler table. Tabs and runs of blanks are part of the texts.
#include "driver/specs.h"

// Named specs in list order; a null text is filled in at start-up
// ("version" and the multilib texts).
const builtin_spec_text builtin_static_spec_texts[] = {
    {"asm", "%{mbig-endian:-EB} %{mlittle-endian:-EL} %(asm_cpu_spec) %{mapcs-*:-mapcs-%*} %(subtarget_asm_float_spec) %{mthumb-interwork:-mthumb-interwork} %{mfloat-abi=*} %{!mfpu=auto: %{mfpu=*}} %(subtarget_extra_asm_spec)"},
    {"asm_debug", "%{%:debug-level-gt(0):%{gstabs*:--gstabs;:%{g*:--gdwarf2}}} %{fdebug-prefix-map=*:--debug-prefix-map %*}"},
    {"asm_debug_option", ""},
    {"asm_final", "%{gsplit-dwarf: \n"
    "       objcopy --extract-dwo \t %{c:%{o*:%*}%{!o*:%w%b%O}}%{!c:%U%O} \t %b.dwo \n"
    "       objcopy --strip-dwo \t %{c:%{o*:%*}%{!o*:%w%b%O}}%{!c:%U%O}     }"},
    {"asm_options", "%{-target-help:%:print-asm-header()} %{v} %{w:-W} %{I*} %(asm_debug_option) %{gz|gz=zlib:--compress-debug-sections=zlib} %{gz=none:--compress-debug-sections=none} %{gz=zlib-kav:--compress-debug-sections=zlib-kav} %a %Y %{c:%W{o*}%{!o*:-o %w%b%O}}%{!c:-o %d%w%u%O}"},
    {"invoke_as", "%{!fwpa*:   %{fcompare-debug=*|fdump-final-insns=*:%:compare-debug-dump-opt()}   %{!S:-o %|.s |\n"
    " as %(asm_options) %m.s %A }  }"},
    {"cpp", "%(subtarget_cpp_spec)"},
    {"cpp_options", "%(cpp_unique_options) %1 %{m*} %{std*&ansi&trigraphs} %{W*&pedantic*} %{w} %{f*} %{g*:%{%:debug-level-gt(0):%{g*} %{!fno-working-directory:-fworking-directory}}} %{O*} %{undef} %{save-temps*:-fpch-preprocess}"},
    {"cpp_debug_options", "%<dumpdir %<dumpbase %<dumpbase-ext %{d*} %:dumps()"},
    {"cpp_unique_options", "%{!Q:-quiet} %{nostdinc*} %{C} %{CC} %{v} %@{I*&F*} %{P} %I %{MD:-MD %{!o:%b.d}%{o*:%.d%*}} %{MMD:-MMD %{!o:%b.d}%{o*:%.d%*}} %{M} %{MM} %{MF*} %{MG} %{MP} %{MQ*} %{MT*} %{Mmodules} %{Mno-modules} %{!E:%{!M:%{!MM:%{!MT:%{!MQ:%{MD|MMD:%{o*:-MQ %*}}}}}}} %{remap} %{%:debug-level-gt(2):-dD} %{!iplugindir*:%{fplugin*:%:find-plugindir()}} %{H} %C %{D*&U*&A*} %{i*} %Z %i %{E|M|MM:%W{o*}}"},
    {"trad_capable_cpp", "tolm -E %{traditional|traditional-cpp:-traditional-cpp}"},
    {"tolm", ""},
    {"tolm_options", "%{pg:%{fomit-frame-pointer:%e-pg and -fomit-frame-pointer are incompatible}} %{!iplugindir*:%{fplugin*:%:find-plugindir()}} %1 %{!Q:-quiet} %(cpp_debug_options) %{m*} %{aux-info*} %{g*} %{O*} %{W*&pedantic*} %{w} %{std*&ansi&trigraphs} %{v:-version} %{pg:-p} %{p} %{f*} %{undef} %{Qn:-fno-ident} %{Qy:} %{-help:--help} %{-target-help:--target-help} %{-version:--version} %{-help=*:--help=%*} %{!fsyntax-only:%{S:%W{o*}%{!o*:-o %w%b.s}}} %{fsyntax-only:-o %j} %{-param*} %{coverage:-fprofile-arcs -ftest-coverage} %{fprofile-arcs|fprofile-generate*|coverage:   %{!fprofile-update=single:     %{pthread:-fprofile-update=prefer-atomic}}}"},
    {"tolmex", ""},
    {"link_vuz_c_sequence", "%G %{!nolibc:%L %G}"},
    {"link_ssp", "%{fstack-protector|fstack-protector-all|fstack-protector-strong|fstack-protector-explicit:-lssp_nonshared}"},
    {"endfile", "%{shared|pie:crtendS.o%s;:crtend.o%s} crtn.o%s"},
    {"link", "\t\t\t\t\t\t\t  %{p:%nconsider using `-pg' instead of `-p' with gprof (1)}\t\t  %{v:-V}\t\t\t\t\t\t\t\t  %{assert*} %{R*} %{rpath*} %{defsym*}\t\t\t\t\t  %{shared:-Bshareable %{h*} %{soname*}}\t\t\t\t  %{!shared:\t\t\t\t\t\t\t\t    %{!static:\t\t\t\t\t\t\t\t      %{rdynamic:-export-dynamic}\t\t\t\t\t      %{!dynamic-linker:-dynamic-linker %(fbsd_dynamic_linker) }}\t    %{static:-Bstatic}}\t\t\t\t\t\t\t  %{!static:--hash-style=both --enable-new-dtags}\t\t\t  %{symbolic:-Bsymbolic}\t\t\t\t\t\t  -X %{mbig-endian:-EB} %{mlittle-endian:-EL}"},
    {"lib", "\t\t\t\t\t\t\t  %{!shared:\t\t\t\t\t\t\t\t    %{!pg: %{pthread:-lpthread} -lc}\t\t\t\t\t    %{pg:  %{pthread:-lpthread_p} -lc_p}\t\t\t\t  }\t\t\t\t\t\t\t\t\t  %{shared:\t\t\t\t\t\t\t\t    %{pthread:-lpthread} -lc\t\t\t\t\t\t  }"},
    {"link_ploxa", ""},
    {"libvuz", "-lvuz"},
    {"startfile", "%{!shared:      %{pg:gcrt1.o%s} %{!pg:%{p:gcrt1.o%s} \t\t       %{!p:%{profile:gcrt1.o%s} \t\t\t %{!profile:                             %{pie: Scrt1.o%s;:crt1.o%s}}}}}    crti.o%s %{static:crtbeginT.o%s;shared|pie:crtbeginS.o%s;:crtbegin.o%s}"},
    {"cross_compile", "1"},
    {"version", nullptr},
    {"multilib", nullptr},
    {"multilib_defaults", nullptr},
    {"multilib_extra", ""},
    {"multilib_matches", nullptr},
    {"multilib_exclusions", nullptr},
    {"multilib_options", ""},
    {"multilib_reuse", nullptr},
    {"linker", "vresk"},
    {"linker_plugin_file", ""},
    {"quorf", ""},
    {"lto_vuz", ""},
    {"post_link", ""},
    {"link_libvuz", "%D"},
    {"md_exec_prefix", ""},
    {"md_startfile_prefix", ""},
    {"md_startfile_prefix_1", ""},
    {"startfile_prefix_spec", "/usr/lib/ "},
    {"sysroot_spec", "--sysroot=%R"},
    {"sysroot_suffix_spec", ""},
    {"sysroot_hdrs_suffix_spec", ""},
    {"self_spec", ""},
    {nullptr, nullptr},
};

const builtin_spec_text builtin_target_spec_texts[] = {
    {"subtarget_cpp_spec", "\t\t\t\t\t\t\t  %(cpp_cpu)\t\t\t\t\t\t\t\t  %(cpp_arch)\t\t\t\t\t\t\t\t  %{posix:-D_POSIX_SOURCE}"},
    {"asm_cpu_spec", " %{mfpu=auto:%<mfpu=auto %:asm_auto_mfpu(%{march=*: arch %*})} %{mcpu=generic-*:-march=%:rewrite_march(%{mcpu=generic-*:%*});   march=*:-march=%:rewrite_march(%{march=*:%*});   mcpu=*:-mcpu=%:rewrite_mcpu(%{mcpu=*:%*}) }"},
    {"subtarget_extra_asm_spec", "%{mabi=apcs-kav|mabi=atpcs:-meabi=kav;:-meabi=5}  %{mcpu=arm8|mcpu=arm810|mcpu=strongarm*|march=armv4|mcpu=fa526|mcpu=fa626:--fix-v4bx}   %{fpie|fPIE|fpic|fPIC:-k}"},
    {"subtarget_asm_float_spec", "%{!mfpu=*:-mfpu=vfp}"},
    {"fbsd_dynamic_linker", "/libexec/ld-elf.so.1"},
    {nullptr, nullptr},
};

const char builtin_link_command_spec[] =
    "%{!fsyntax-only:%{!c:%{!M:%{!MM:%{!E:%{!S:    %(linker) %{!fno-use-linker-plugin:%{!fno-lto:     -plugin %(linker_plugin_file)     -plugin-opt=%(quorf)     -plugin-opt=-fresolution=%u.res         %{flinker-output=*:-plugin-opt=-linker-output-known}     %{!nostdlib:%{!nodefaultlibs:%:pass-through-libs(%(link_vuz_c_sequence))}}     }}%{flto|flto=*:%<fcompare-debug*}     %{flto} %{fno-lto} %{flto=*} %l %{static|shared|r:;pie:-pie} %{fuse-ld=*:-fuse-ld=%*}  %{gz|gz=zlib:--compress-debug-sections=zlib} %{gz=none:--compress-debug-sections=none} %{gz=zlib-kav:--compress-debug-sections=zlib-kav} %X %{o*} %{e*} %{N} %{n} %{r}    %{s} %{t} %{u*} %{z} %{Z} %{!nostdlib:%{!r:%{!nostartfiles:%S}}}     %{static|no-pie|static-pie:} %@{L*} %(mfwrap) %(link_libvuz) %{fvtable-verify=none:} %{fvtable-verify=std:   %e-fvtable-verify=std is not supported in this configuration} %{fvtable-verify=preinit:   %e-fvtable-verify=preinit is not supported in this configuration} %{!nostdlib:%{!r:%{!nodefaultlibs:%{%:sanitize(address):%{!shared:libasan_preinit%O%s} %{static-libasan:%{!shared:-Bstatic --whole-archive -lasan --no-whole-archive -Bdynamic}}%{!static-libasan:-lasan -lpthread}}     %{%:sanitize(hwaddress):}     %{%:sanitize(thread):%{static-libtsan:%{!shared:-Bstatic --whole-archive -ltsan --no-whole-archive -Bdynamic}}%{!static-libtsan:-ltsan -lpthread}}     %{%:sanitize(leak):%{static-liblsan:%{!shared:-Bstatic --whole-archive -llsan --no-whole-archive -Bdynamic}}%{!static-liblsan:-llsan -lpthread}}}}} %o      %{fopenacc|fopenmp|%:gt(%{ftree-parallelize-loops=*:%*} 1):\t%:include(libploxa.spec)%(link_ploxa)}    %{fkav-tm:%:include(libquisk.spec)%(link_quisk)}    %(mflib)  %{fsplit-stack: --wrap=pthread_create}    %{fprofile-arcs|fprofile-generate*|coverage:-lpewt} %{!nostdlib:%{!r:%{!nodefaultlibs:%{%:sanitize(address): %{static-libasan|static:%:include(libsanitizer.spec)%(link_libasan)}    %{static:%ecannot specify -static with -fsanitize=address}}    %{%:sanitize(hwaddress):%{static-libhwasan:-Bstatic} -lhwasan %{static-libhwasan:-Bdynamic} %{static-libhwasan|static:%:include(libsanitizer.spec)%(link_libhwasan)}\t%{static:%ecannot specify -static with -fsanitize=hwaddress}}    %{%:sanitize(thread): %{static-libtsan|static:%:include(libsanitizer.spec)%(link_libtsan)}    %{static:%ecannot specify -static with -fsanitize=thread}}    %{%:sanitize(undefined):%{static-libubsan:-Bstatic} -lubsan %{static-libubsan:-Bdynamic} %{static-libubsan|static:%:include(libsanitizer.spec)%(link_libubsan)}}    %{%:sanitize(leak): %{static-liblsan|static:%:include(libsanitizer.spec)%(link_liblsan)}}}}}     %{!nostdlib:%{!r:%{!nodefaultlibs:%(link_ssp) %(link_vuz_c_sequence)}}}    %{!nostdlib:%{!r:%{!nostartfiles:%E}}} %{T*}  \n"
    "%(post_link) }}}}}}";

// Replaces every "-lvuz" at a word start in the "libvuz" spec.
const char libvuz_replacement[] =
    "%{static|static-libvuz|static-pie:-lvuz -lvuz_eh}%{!static:%{!static-libvuz:%{!static-pie:"
    "%{!shared-libvuz:-lvuz --push-state --as-needed -lvuz_s --pop-state}"
    "%{shared-libvuz:-lvuz_s%{!shared: -lvuz}}}}}";

const builtin_spec_text configure_option_specs[] = {
    {"arch", "%{!march=*:%{!mcpu=*:-march=%(VALUE)}}"},
    {"cpu", "%{!march=*:%{!mcpu=*:-mcpu=%(VALUE)}}"},
    {"tune", "%{!mcpu=*:%{!mtune=*:-mtune=%(VALUE)}}"},
    {"float", "%{!mfloat-abi=*:-mfloat-abi=%(VALUE)}"},
    {"fpu", "%{!mfpu=*:-mfpu=%(VALUE)}"},
    {"abi", "%{!mabi=*:-mabi=%(VALUE)}"},
    {"tls", "%{!mtls-dialect=*:-mtls-dialect=%(VALUE)}"},
    {nullptr, nullptr},
};

const char *const driver_self_specs[] = {
    "%{fdump-final-insns:-fdump-final-insns=.} %<fdump-final-insns",
    "",
    " %{!marm:%{!mthumb:%:target_mode_check(%{march=*:arch %*;mcpu=*:cpu %*;:})}}",
    "-mlibarch=%:canon_arch_multilib(%{mcpu=*: cpu %*} \t\t\t\t   %{march=*: arch %*} \t\t\t\t   %{mfpu=*: fpu %*} \t\t\t\t   %{mfloat-abi=*: abi %*}\t\t\t\t   %<mlibarch=*) ",
    " -march=%:canon_arch(%{mcpu=*: cpu %*}                      %{march=*: arch %*}                      %{mfpu=*: fpu %*}                      %{mfloat-abi=*: abi %*}                     %<march=*) ",
    "",
    "%{fopenacc|fopenmp|%:gt(%{ftree-parallelize-loops=*:%*} 1): -pthread}",
    "%{fkav-tm: -pthread}",
};
const int driver_self_spec_count = sizeof driver_self_specs / sizeof *driver_self_specs;

// Suffix, spec, extra preprocessor spec, combinable, needs preprocessing.
const compiler_entry builtin_compilers[] = {
    {".m", "#Objective-C", nullptr, 0, 0},
    {".mi", "#Objective-C", nullptr, 0, 0},
    {".mm", "#Objective-C++", nullptr, 0, 0},
    {".M", "#Objective-C++", nullptr, 0, 0},
    {".mii", "#Objective-C++", nullptr, 0, 0},
    {".cc", "#C++", nullptr, 0, 0},
    {".cxx", "#C++", nullptr, 0, 0},
    {".cpp", "#C++", nullptr, 0, 0},
    {".cp", "#C++", nullptr, 0, 0},
    {".c++", "#C++", nullptr, 0, 0},
    {".C", "#C++", nullptr, 0, 0},
    {".CPP", "#C++", nullptr, 0, 0},
    {".ii", "#C++", nullptr, 0, 0},
    {".ads", "#Ada", nullptr, 0, 0},
    {".adb", "#Ada", nullptr, 0, 0},
    {".f", "#Fortran", nullptr, 0, 0},
    {".F", "#Fortran", nullptr, 0, 0},
    {".for", "#Fortran", nullptr, 0, 0},
    {".FOR", "#Fortran", nullptr, 0, 0},
    {".ftn", "#Fortran", nullptr, 0, 0},
    {".FTN", "#Fortran", nullptr, 0, 0},
    {".fpp", "#Fortran", nullptr, 0, 0},
    {".FPP", "#Fortran", nullptr, 0, 0},
    {".f90", "#Fortran", nullptr, 0, 0},
    {".F90", "#Fortran", nullptr, 0, 0},
    {".f95", "#Fortran", nullptr, 0, 0},
    {".F95", "#Fortran", nullptr, 0, 0},
    {".f03", "#Fortran", nullptr, 0, 0},
    {".F03", "#Fortran", nullptr, 0, 0},
    {".f08", "#Fortran", nullptr, 0, 0},
    {".F08", "#Fortran", nullptr, 0, 0},
    {".r", "#Ratfor", nullptr, 0, 0},
    {".go", "#Go", nullptr, 1, 0},
    {".d", "#D", nullptr, 1, 0},
    {".dd", "#D", nullptr, 1, 0},
    {".di", "#D", nullptr, 1, 0},
    {".c", "@c", nullptr, 0, 1},
    {"@c", "%{E|M|MM:%(trad_capable_cpp) %(cpp_options) %(cpp_debug_options)}      %{!E:%{!M:%{!MM:          %{traditional:%eKAV C no longer supports -traditional without -E}      %{save-temps*|traditional-cpp|no-integrated-cpp:%(trad_capable_cpp) \t  %(cpp_options) -o %{save-temps*:%b.i} %{!save-temps*:%g.i} \n"
    "\t    tolm -fpreprocessed %{save-temps*:%b.i} %{!save-temps*:%g.i} \t  %(tolm_options)}      %{!save-temps*:%{!traditional-cpp:%{!no-integrated-cpp:\t  tolm %(cpp_unique_options) %(tolm_options)}}}      %{!fsyntax-only:%(invoke_as)}}}}", nullptr, 0, 1},
    {"-", "%{!E:%e-E or -x required when input is from standard input}    %(trad_capable_cpp) %(cpp_options) %(cpp_debug_options)", nullptr, 0, 0},
    {".h", "@c-header", nullptr, 0, 0},
    {"@c-header", "%{E|M|MM:%(trad_capable_cpp) %(cpp_options) %(cpp_debug_options)}      %{!E:%{!M:%{!MM:\t  %{save-temps*|traditional-cpp|no-integrated-cpp:%(trad_capable_cpp) \t\t%(cpp_options) -o %{save-temps*:%b.i} %{!save-temps*:%g.i} \n"
    "\t\t    tolm -fpreprocessed %{save-temps*:%b.i} %{!save-temps*:%g.i} \t\t\t%(tolm_options)\t\t\t%{!fsyntax-only:%{!S:-o %g.s} \t\t\t    %{!fdump-ada-spec*:%{!o*:--output-pch=%i.zerd}\t\t\t\t\t       %W{o*:--output-pch=%*}}%V}}\t  %{!save-temps*:%{!traditional-cpp:%{!no-integrated-cpp:\t\ttolm %(cpp_unique_options) %(tolm_options)\t\t    %{!fsyntax-only:%{!S:-o %g.s} \t\t        %{!fdump-ada-spec*:%{!o*:--output-pch=%i.zerd}\t\t\t\t\t   %W{o*:--output-pch=%*}}%V}}}}}}}", nullptr, 0, 0},
    {".i", "@cpp-output", nullptr, 0, 0},
    {"@cpp-output", "%{!M:%{!MM:%{!E:tolm -fpreprocessed %i %(tolm_options) %{!fsyntax-only:%(invoke_as)}}}}", nullptr, 0, 0},
    {".s", "@assembler", nullptr, 0, 0},
    {"@assembler", "%{!M:%{!MM:%{!E:%{!S:as %(asm_debug) %(asm_options) %i %A }}}}", nullptr, 0, 0},
    {".sx", "@assembler-with-cpp", nullptr, 0, 0},
    {".S", "@assembler-with-cpp", nullptr, 0, 0},
    {"@assembler-with-cpp", "%(trad_capable_cpp) -lang-asm %(cpp_options) -fno-directives-only      %{E|M|MM:%(cpp_debug_options)}      %{!M:%{!MM:%{!E:%{!S:-o %|.s |\n"
    "       as %(asm_debug) %(asm_options) %m.s %A }}}}", nullptr, 0, 0},
    {".cc", "@c++", nullptr, 0, 0},
    {".cp", "@c++", nullptr, 0, 0},
    {".cxx", "@c++", nullptr, 0, 0},
    {".cpp", "@c++", nullptr, 0, 0},
    {".c++", "@c++", nullptr, 0, 0},
    {".C", "@c++", nullptr, 0, 0},
    {".CPP", "@c++", nullptr, 0, 0},
    {".H", "@c++-header", nullptr, 0, 0},
    {".hpp", "@c++-header", nullptr, 0, 0},
    {".hp", "@c++-header", nullptr, 0, 0},
    {".hxx", "@c++-header", nullptr, 0, 0},
    {".h++", "@c++-header", nullptr, 0, 0},
    {".HPP", "@c++-header", nullptr, 0, 0},
    {".tcc", "@c++-header", nullptr, 0, 0},
    {".hh", "@c++-header", nullptr, 0, 0},
    {"@c++-header", "%{E|M|MM:tolmex -E %{fmodules-ts:-fdirectives-only -fmodule-header}  %(cpp_options) %2 %(cpp_debug_options)}%{!E:%{!M:%{!MM:  %{save-temps*|no-integrated-cpp:tolmex -E    %{fmodules-ts:-fdirectives-only -fmodule-header}\t   %(cpp_options) %2 -o %{save-temps*:%b.ii} %{!save-temps*:%g.ii} \n"
    "}  tolmex %{save-temps*|no-integrated-cpp:-fpreprocessed            %{fmodules-ts:-fdirectives-only} \t   %{save-temps*:%b.ii} %{!save-temps*:%g.ii}}  %{!save-temps*:%{!no-integrated-cpp:%(cpp_unique_options)}}  %{fmodules-ts:-fmodule-header %{fpreprocessed:-fdirectives-only}}  %(tolm_options) %2  %{!fsyntax-only:    %{!S:-o %g.s%V}    %{!fmodule-*:%{!fmodules-*:%{!fdump-ada-spec*:\t         %{!o*:--output-pch=%i.zerd}%W{o*:--output-pch=%*}}}}}}}}", "%(subtarget_cpp_spec)", 0, 0},
    {"@c++-system-header", "%{E|M|MM:tolmex -E  %{fmodules-ts:-fdirectives-only -fmodule-header=system}  %(cpp_options) %2 %(cpp_debug_options)}%{!E:%{!M:%{!MM:  %{save-temps*|no-integrated-cpp:tolmex -E    %{fmodules-ts:-fdirectives-only -fmodule-header=system}\t   %(cpp_options) %2 -o %{save-temps*:%b.ii} %{!save-temps*:%g.ii} \n"
    "}  tolmex %{save-temps*|no-integrated-cpp:-fpreprocessed            %{fmodules-ts:-fdirectives-only} \t   %{save-temps*:%b.ii} %{!save-temps*:%g.ii}}  %{!save-temps*:%{!no-integrated-cpp:%(cpp_unique_options)}}  %{fmodules-ts:-fmodule-header=system    %{fpreprocessed:-fdirectives-only}}  %(tolm_options) %2  %{!fsyntax-only:    %{!S:-o %g.s%V}    %{!fmodule-*:%{!fmodules-*:%{!fdump-ada-spec*:\t         %{!o*:--output-pch=%i.zerd}%W{o*:--output-pch=%*}}}}}}}}", "%(subtarget_cpp_spec)", 0, 0},
    {"@c++-user-header", "%{E|M|MM:tolmex -E  %{fmodules-ts:-fdirectives-only -fmodule-header=user}  %(cpp_options) %2 %(cpp_debug_options)}%{!E:%{!M:%{!MM:  %{save-temps*|no-integrated-cpp:tolmex -E    %{fmodules-ts:-fdirectives-only -fmodule-header=user}\t   %(cpp_options) %2 -o %{save-temps*:%b.ii} %{!save-temps*:%g.ii} \n"
    "}  tolmex %{save-temps*|no-integrated-cpp:-fpreprocessed            %{fmodules-ts:-fdirectives-only} \t   %{save-temps*:%b.ii} %{!save-temps*:%g.ii}}  %{!save-temps*:%{!no-integrated-cpp:%(cpp_unique_options)}}  %{fmodules-ts:-fmodule-header=user %{fpreprocessed:-fdirectives-only}}  %(tolm_options) %2  %{!fsyntax-only:    %{!S:-o %g.s%V}    %{!fmodule-*:%{!fmodules-*:%{!fdump-ada-spec*:\t         %{!o*:--output-pch=%i.zerd}%W{o*:--output-pch=%*}}}}}}}}", "%(subtarget_cpp_spec)", 0, 0},
    {"@c++", "%{E|M|MM:tolmex -E %(cpp_options) %2 %(cpp_debug_options)}%{!E:%{!M:%{!MM:  %{save-temps*|no-integrated-cpp:tolmex -E\t   %(cpp_options) %2 -o %{save-temps*:%b.ii} %{!save-temps*:%g.ii} \n"
    "}  tolmex %{save-temps*|no-integrated-cpp:-fpreprocessed \t   %{save-temps*:%b.ii} %{!save-temps*:%g.ii}}  %{!save-temps*:%{!no-integrated-cpp:%(cpp_unique_options)}}  %(tolm_options) %2  %{!fsyntax-only:    %{fmodule-only:%{!S:-o %g.s%V}}    %{!fmodule-only:%(invoke_as)}}}}}", "%(subtarget_cpp_spec)", 0, 0},
    {".ii", "@c++-cpp-output", nullptr, 0, 0},
    {"@c++-cpp-output", "%{!E:%{!M:%{!MM:  tolmex -fpreprocessed %i %(tolm_options) %2  %{!fsyntax-only:    %{fmodule-only:%{!S:-o %g.s%V}}    %{!fmodule-only:%{!fmodule-header*:%(invoke_as)}}}}}}", nullptr, 0, 0},
    {"@lto", "yorv %(tolm_options) %i %{!fsyntax-only:%(invoke_as)}", nullptr, 1, 0},
};
const int builtin_compiler_count = sizeof builtin_compilers / sizeof *builtin_compilers;
