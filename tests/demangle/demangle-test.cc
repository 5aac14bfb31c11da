// Demangler: entry points and options, grammar, declarators, expressions and
// literals, and the bounds on stack, output and work.
#include "demangle/demangler.h"

#include "demangle/demangle-printer.h"
#include "demangle/demangle-tree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char null_result[] = "<null>";

std::string demangled(const char *mangled, int options)
{
  char *text = demangle_to_string(mangled, options);
  if (!text)
    return null_result;
  std::string result = text;
  free(text);
  return result;
}

struct demangle_case {
  const char *mangled;
  int options;
  const char *expected;
};

void check_cases(const std::vector<demangle_case> &cases)
{
  for (const demangle_case &c : cases)
    EXPECT_EQ(demangled(c.mangled, c.options), c.expected)
        << c.mangled << " with options 0x" << std::hex << c.options;
}

TEST(DemangleEntry, OptionsAndInputClasses)
{
  check_cases({
      {"_Z1fv", 0x400b, "f()"},
      {"_Z1fv", 0, "f"},
      {"_Z1fv.constprop.0", 0x1, "f() [clone .constprop.0]"},
      {"_Z1fv.constprop.0", 0, "f"},
      {"_Z1fv.isra.0.cold", 0x1, "f() [clone .isra.0] [clone .cold]"},
      {"_ZL5Argv0.1", 0x1, "Argv0 [clone .1]"},
      // A template argument naming a subobject of an internal-linkage constant.
      {"_ZL1fIXadsoK1AL_ZL1tEEELm3EEbv", 0x400b, "bool f<&(t.<A const at offset 0>), 3ul>()"},
      {"_ZL1fIXadsoK1AL_ZL1tE8_1pEEEvv", 0x3, "void f<&(t.<A const at offset 8>)>()"},
      {"_GLOBAL__I_foo", 0, "global constructors keyed to foo"},
      {"_GLOBAL__D__Z1fv", 0, "global destructors keyed to f()"},
      {"_GLOBAL__I_", 0, null_result},
      {"main", 0x3, null_result},
      {"i", 0x10, "int"},
      {"PKc", 0x10, "char const*"},
      {"_ZNSsC1Ev", 0x1, "std::basic_string<char, std::char_traits<char>, std::allocator<char> >"
                         "::basic_string()"},
      // Verbose standard substitutions.
      {"_Z1fSs", 0x1, "f(std::string)"},
      {"_Z1fSs", 0x9, "f(std::basic_string<char, std::char_traits<char>, std::allocator<char> >)"},
      {"_Z1fSo", 0x9, "f(std::basic_ostream<char, std::char_traits<char> >)"},
      // Return type placement.
      {"_Z1fIiEvv", 0x1, "void f<int>()"},
      {"_Z1fIiEvv", 0x21, "f<int>()void"},
      {"_Z1fIiEvv", 0x41, "f<int>()"},
      {"_Z1fIiEPFvvEv", 0x1, "void (*f<int>())()"},
      // Java style.
      {"_ZN4java4lang6Object4waitEx", 0x5, "java.lang.Object.wait(long)"},
      {"_Z1fP6JArrayIiE", 0x5, "f(int[])"},
      {"_ZN4java4lang6Object8getClassEJPNS0_5ClassEv", 0x25,
       "java.lang.Object.getClass()java.lang.Class"},
      {"_ZN4java4lang10H__U41_llo3fooEv", 0x5, "java.lang.HAllo.foo()"},
      {"_ZN4java4lang10H__U41_llo3fooEv", 0x1, "java::lang::H__U41_llo::foo()"},
      {"_ZN4java4lang14a__U41___U42_b3fooEv", 0x5, "java.lang.aABb.foo()"},
      {"_ZN4java4lang6__U41_3fooEv", 0x5, "java.lang.A.foo()"},
      {"_ZN4java4lang8a__U4g_b3fooEv", 0x5, "java.lang.a__U4g_b.foo()"},
      {"_ZN4java4lang6a__U_b3fooEv", 0x5, "java.lang.a__U_b.foo()"},
      // The whole text must be consumed with parameters, not without.
      {"_Z1fvX", 0x1, null_result},
      {"_Z1fvX", 0, "f"},
  });
  char *java = demangle_java_to_string("_ZN4java4lang6Object4waitEx");
  ASSERT_NE(java, nullptr);
  EXPECT_EQ(java, demangled("_ZN4java4lang6Object4waitEx", 0x25));
  free(java);
}

TEST(DemangleEntry, InputLengthLimit)
{
  // 1025 characters: a name of 1020 letters after "_Z1020".
  std::string name = "_Z1020" + std::string(1020, 'a');
  ASSERT_EQ(name.size(), 1026u);
  name.pop_back();
  name.replace(2, 4, "1019");
  ASSERT_EQ(name.size(), 1025u);
  EXPECT_EQ(demangled(name.c_str(), 0x3), null_result);
  EXPECT_EQ(demangled(name.c_str(), 0x40003), std::string(1019, 'a'));
  name.pop_back();
  name.replace(2, 4, "1018");
  EXPECT_EQ(demangled(name.c_str(), 0x3), std::string(1018, 'a'));
}

TEST(DemangleEntry, StructorKinds)
{
  struct {
    const char *mangled;
    int ctor, dtor;
  } cases[] = {
      {"_ZN3FooC1Ev", 1, 0}, {"_ZN3FooC2Ev", 2, 0},   {"_ZN3FooC5Ev", 5, 0},
      {"_ZN3FooCI13BarEi", 1, 0}, {"_ZN3FooD0Ev", 0, 1}, {"_ZN3FooD1Ev", 0, 2},
      {"_ZN3FooD2Ev", 0, 3}, {"_ZN3FooD4Ev", 0, 4},    {"_ZN3FooD5Ev", 0, 5},
      {"_ZN3FooD3Ev", 0, 0}, {"_ZN3Foo1fEv", 0, 0},    {"_ZN1AIiEC2Ev", 2, 0},
      {"_ZNK3Foo1fEv", 0, 0}, {"_ZZ1fvEN1AD2Ev", 0, 3}, {"f", 0, 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(demangled_ctor_kind(c.mangled), c.ctor) << c.mangled;
    EXPECT_EQ(demangled_dtor_kind(c.mangled), c.dtor) << c.mangled;
  }
}

TEST(DemangleGrammar, NamesAndSpecialNames)
{
  check_cases({
      {"_Z1fi", 0x3, "f(int)"},
      {"_Z1fIiEvT_", 0x3, "void f<int>(int)"},
      {"_ZN12_GLOBAL__N_11fEv", 0x3, "(anonymous namespace)::f()"},
      {"_ZN3FooC2Ev", 0x3, "Foo::Foo()"},
      {"_ZN3FooD0Ev", 0x3, "Foo::~Foo()"},
      {"_ZN3FooD3Ev", 0x3, null_result},
      {"_ZGVZ1fvE1x", 0x3, "guard variable for f()::x"},
      {"_ZZ1fvE1x_0", 0x3, "f()::x"},
      {"_ZZ1fvE1x__12_", 0x3, "f()::x"},
      {"_ZZ1fvEs", 0x3, "f()::string literal"},
      {"_ZZ1fvEd_NKUlvE_clEv", 0x3, "f()::{default arg#1}::{lambda()#1}::operator()() const"},
      {"_ZZ1fvENUt0_1gEv", 0x3, "f()::{unnamed type#2}::g()"},
      {"_ZZ1fIiEvvE1x", 0x3, "f<int>()::x"},  // the scope's return type is dropped
      {"_ZL3foov", 0x3, "foo()"},
      {"_ZN1AB5cxx111fEv", 0x3, "A[abi:cxx11]::f()"},
      {"_ZNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEC1Ev", 0x3,
       "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >"
       "::basic_string()"},
      {"_ZDC1a1bE", 0x3, "[a, b]"},
      {"_ZN1AcvT_IiEEv", 0x3, "A::operator int<int>()"},
      {"_ZN1AcviEv", 0x3, "A::operator int()"},
      // The operator's own template arguments are in scope in its type.
      {"_ZN1AcvNS_1BIT_EEIiEEv", 0x3, "A::operator A::B<int><int>()"},
      {"_ZN1AnwEm", 0x3, "A::operator new(unsigned long)"},
      {"_ZN1AssERKS_", 0x3, "A::operator<=>(A const&)"},
      {"_Zli3_kmy", 0x3, "operator\"\" _km(unsigned long long)"},
      {"_ZN1Av33fooEv", 0x3, "A::operator foo()"},
      {"_ZTV1A", 0x3, "vtable for A"},
      {"_ZTT1A", 0x3, "VTT for A"},
      {"_ZTI1A", 0x3, "typeinfo for A"},
      {"_ZTS1A", 0x3, "typeinfo name for A"},
      {"_ZTC1B0_1A", 0x3, "construction vtable for A-in-B"},
      {"_ZTh16_N1A1fEv", 0x3, "non-virtual thunk to A::f()"},
      {"_ZTv0_n24_N1A1fEv", 0x3, "virtual thunk to A::f()"},
      {"_ZTch0_h16_N1A1fEv", 0x3, "covariant return thunk to A::f()"},
      {"_ZTW1x", 0x3, "TLS wrapper function for x"},
      {"_ZTH1x", 0x3, "TLS init function for x"},
      {"_ZGR1x_", 0x3, "reference temporary #0 for x"},
      {"_ZGR1x2", 0x3, "reference temporary #2 for x"},
      {"_ZGTt1fv", 0x3, "transaction clone for f()"},
      {"_ZGr5_a$Sb", 0x3, "java resource a/b"},
      {"_ZTAXtl1AEE", 0x3, "template parameter object for A{}"},
      // Malformed or out of range.
      {"_Z1fS0_", 0x3, null_result},
      {"_Z1fPFvE", 0x3, null_result},
      {"_Z1fT_", 0x3, null_result},
      {"_Z1fIiEvT0_", 0x3, null_result},
      {"_Z11111111111a", 0x3, null_result},
      {"_Z5abc", 0x3, null_result},
      {"_Z1fSZ_", 0x3, null_result},
  });
}

TEST(DemangleGrammar, Types)
{
  check_cases({
      {"_Z1fPFviE", 0x3, "f(void (*)(int))"},
      {"_Z1fRA3_i", 0x3, "f(int (&) [3])"},
      {"_Z1fM1AFivE", 0x3, "f(int (A::*)())"},
      {"_Z1fM1AKFivE", 0x3, "f(int (A::*)() const)"},
      {"_Z1fM1Ai", 0x3, "f(int A::*)"},
      {"_Z1fPA3_A4_i", 0x3, "f(int (*) [3][4])"},
      {"_Z1fRKA3_i", 0x3, "f(int const (&) [3])"},
      {"_Z1fA3_PKc", 0x3, "f(char const* [3])"},
      {"_Z1fPKFvvE", 0x3, "f(void (*)() const)"},
      {"_Z1fPFPFivEvE", 0x3, "f(int (*(*)())())"},
      {"_Z1fIJidEEvDpT_", 0x3, "void f<int, double>(int, double)"},
      {"_Z1fIJEEvDpT_i", 0x3, "void f<>(int)"},
      {"_Z1fIJEEviDpT_", 0x3, "void f<>(int)"},
      {"_Z1fIRiEvOT_", 0x3, "void f<int&>(int&)"},
      {"_Z1fIOiEvRT_", 0x3, "void f<int&&>(int&)"},
      {"_Z1fIOiEvOT_", 0x3, "void f<int&&>(int&&)"},
      {"_Z1fDv4_f", 0x3, "f(float __vector(4))"},
      {"_Z1fCd", 0x3, "f(double _Complex)"},
      {"_Z1fGd", 0x3, "f(double _Imaginary)"},
      {"_Z1fU3fooi", 0x3, "f(int foo)"},
      {"_Z1fu3foo", 0x3, "f(foo)"},
      {"_Z1fDn", 0x3, "f(decltype(nullptr))"},
      {"_Z1fDiDsDu", 0x3, "f(char32_t, char16_t, char8_t)"},
      {"_Z1fDF16_", 0x3, "f(_Float16)"},
      {"_Z1fDFi8s", 0x3, "f(_Sat _Fract)"},
      {"_Z1fDF1l8n", 0x3, "f(long _Accum)"},
      {"_Z1fPDxFvvEPDoFvvE", 0x3,
       "f(void (*)() transaction_safe, void (*)() noexcept)"},
      {"_Z1fPDwiEFvvE", 0x3, "f(void (*)() throw(int))"},
      {"_ZNKR1A1fEv", 0x3, "A::f() const &"},
      {"_ZNVO1A1fEv", 0x3, "A::f() volatile &&"},
      {"_ZNK1A1fEv", 0x3, "A::f() const"},
      {"_ZNK1A1fEv", 0x2, "A::f"},
      {"_ZN1AIN1BIiEEE1fEv", 0x1, "A<B<int> >::f()"},
      {"_ZNSt6vectorIiSaIiEE9push_backERKi", 0x3,
       "std::vector<int, std::allocator<int> >::push_back(int const&)"},
      {"_ZN1A1fIiEEDaT_", 0x3, "auto A::f<int>(int)"},
      {"_ZN1A1fIiEEDcT_", 0x3, "decltype(auto) A::f<int>(int)"},
      // Generic lambdas: the invented parameters print as auto.
      {"_ZZ1fvENKUlT_E_clIiEEDaS_", 0x3, "auto f()::{lambda(auto:1)#1}::operator()<int>(auto:1) const"},
  });
}

TEST(DemangleExpressions, OperatorsAndLiterals)
{
  check_cases({
      {"_Z1fILi5EEvv", 0x3, "void f<5>()"},
      {"_Z1fILb1EEvv", 0x3, "void f<true>()"},
      {"_Z1fILb0EEvv", 0x3, "void f<false>()"},
      {"_Z1fILj7EEvv", 0x3, "void f<7u>()"},
      {"_Z1fILln3EEvv", 0x3, "void f<-3l>()"},
      {"_Z1fILm3EEvv", 0x3, "void f<3ul>()"},
      {"_Z1fILx3EEvv", 0x3, "void f<3ll>()"},
      {"_Z1fILy3EEvv", 0x3, "void f<3ull>()"},
      {"_Z1fILc65EEvv", 0x3, "void f<(char)65>()"},
      {"_Z1fILd3ff0000000000000EEvv", 0x3, "void f<(double)[3ff0000000000000]>()"},
      {"_Z1fILDnEEvv", 0x3, "void f<decltype(nullptr)>()"},
      {"_Z1fIXplLi1ELi2EEEvv", 0x3, "void f<(1)+(2)>()"},
      {"_Z1fIXgtLi1ELi2EEEvv", 0x3, "void f<((1)>(2))>()"},
      {"_Z1fIXadL_Z1gvEEEvv", 0x3, "void f<&(g())>()"},
      {"_Z1fIXadL_ZN1A1gEvEEEvv", 0x3, "void f<&A::g>()"},
      {"_Z3fooIiEDTplfp_fp_ET_", 0x3, "decltype ({parm#1}+{parm#1}) foo<int>(int)"},
      {"_Z1fIiEDTcmfp_fp_ET_", 0x3, "decltype ({parm#1},{parm#1}) f<int>(int)"},
      {"_Z1fIiEDTixfp_Li0EEPT_", 0x3, "decltype ({parm#1}[0]) f<int>(int*)"},
      {"_Z1fIiEDTquLb1ELi1ELi2EEv", 0x3, "decltype ((true)?(1) : (2)) f<int>()"},
      {"_Z1fIiEDTscT_fp_Ev", 0x3, "decltype (static_cast<int>({parm#1})) f<int>()"},
      {"_Z1fIiEDTcvT_Li1EEv", 0x3, "decltype ((int)(1)) f<int>()"},
      {"_Z1fIiEDTcvT__Li1ELi2EEEv", 0x3, "decltype ((int)(1, 2)) f<int>()"},
      {"_Z1fIiEDTnw_T_EEv", 0x3, "decltype (new int) f<int>()"},
      {"_Z1fIiEDTnwT__T_piLi1EEEv", 0x3, "decltype (new (int) int(1)) f<int>()"},
      {"_Z1fIiEDTgsnw_T_EEv", 0x3, "decltype (::new int) f<int>()"},
      {"_Z1fI1AEDTdlfp_ET_", 0x3, "decltype (delete {parm#1}) f<A>(A)"},
      {"_Z1fIiEDTppfp_ET_", 0x3, "decltype ({parm#1}++) f<int>(int)"},
      {"_Z1fIiEDTpp_fp_ET_", 0x3, "decltype (++{parm#1}) f<int>(int)"},
      {"_Z1fIiEDTdtfp_1xET_", 0x3, "decltype ({parm#1}.x) f<int>(int)"},
      {"_Z1fIiEDTptfp_1xET_", 0x3, "decltype ({parm#1}->x) f<int>(int)"},
      {"_Z1fIiEDTptfp_L_Z1gvEET_", 0x3, "decltype ({parm#1}->(g())) f<int>(int)"},
      {"_Z1fIiEDTcl1gfp_EET_", 0x3, "decltype (g({parm#1})) f<int>(int)"},
      {"_Z1fIiEDTclL_Z1gvEEEv", 0x3, "decltype (g()) f<int>()"},
      {"_Z1fIiEDTstT_Ev", 0x3, "decltype (sizeof (int)) f<int>()"},
      {"_Z1fIiEDTatT_Ev", 0x3, "decltype (alignof (int)) f<int>()"},
      {"_Z1fIJicEEvDTsZT_E", 0x3, "void f<int, char>(decltype (2))"},
      {"_Z1fIJicEEvDTsPT_EE", 0x3, "void f<int, char>(decltype (1))"},
      {"_Z1fIJiEEDTfrplfp_EDpT_", 0x3, "decltype (({parm#1}+...)) f<int>(int)"},
      {"_Z1fIJiEEDTflplfp_EDpT_", 0x3, "decltype ((...+{parm#1})) f<int>(int)"},
      {"_Z1fIJiEEDTfLplLi0Efp_EDpT_", 0x3, "decltype (((0)+...+{parm#1})) f<int>(int)"},
      {"_Z1fIiEDTplfL0p_Li1EEv", 0x3, "decltype ({parm#1}+(1)) f<int>()"},
      {"_Z1fIiEDTtlT_di1xLi1EEEv", 0x3, "decltype (int{.x=(1)}) f<int>()"},
      {"_Z1fIiEDTtlT_dxLi0ELi1EEEv", 0x3, "decltype (int{[0]=(1)}) f<int>()"},
      {"_Z1fIiEDTtlT_dXLi0ELi2ELi1EEEv", 0x3, "decltype (int{[0 ... 2]=(1)}) f<int>()"},
      {"_Z1fIiEDTilLi1ELi2EEEv", 0x3, "decltype ({1, 2}) f<int>()"},
      {"_Z1fIiEvDTsr1A1xE", 0x3, "void f<int>(decltype (A::x))"},
      {"_Z1fIiEvDTsrNT_1AIiEE1xE", 0x3, "void f<int>(decltype (int::A<int>::x))"},
      {"_Z1fIiEvDTsrT_onplE", 0x3, "void f<int>(decltype (int::operator+))"},
      {"_Z1fIiEvDTsr1A1BE1xE", 0x3, "void f<int>(decltype (A::B::x))"},
      {"_Z1fIiEvDTtrE", 0x3, "void f<int>(decltype (throw))"},
      {"_Z1fIiEvDTtwLi1EE", 0x3, "void f<int>(decltype (throw (1)))"},
      {"_Z1fIiEvDTu3fooLi1EEE", 0x3, "void f<int>(decltype (foo(1)))"},
  });
}

// A sink that records the size of each piece.
void record_piece(const char *text, size_t length, void *opaque)
{
  EXPECT_EQ(strlen(text), length);
  static_cast<std::vector<size_t> *>(opaque)->push_back(length);
}

TEST(DemanglePrinter, OutputReachesTheSinkIn255BytePieces)
{
  std::string name = "_Z600" + std::string(600, 'x');
  std::vector<size_t> pieces;
  EXPECT_EQ(demangle_with_sink(name.c_str(), 0, record_piece, &pieces), 1);
  EXPECT_EQ(pieces, (std::vector<size_t>{255, 255, 90}));
  pieces.clear();
  EXPECT_EQ(demangle_with_sink("_Z1f", 0, record_piece, &pieces), 1);
  EXPECT_EQ(pieces, (std::vector<size_t>{1}));
  pieces.clear();
  EXPECT_EQ(demangle_with_sink("_Z1", 0, record_piece, &pieces), 0);
  EXPECT_TRUE(pieces.empty());  // a failed parse writes nothing
}

// A sink that keeps each piece.
void record_text(const char *text, size_t length, void *opaque)
{
  EXPECT_EQ(strlen(text), length);
  static_cast<std::vector<std::string> *>(opaque)->emplace_back(text, length);
}

// Names whose output runs end just before, at and just after the buffer's
// edges, so that a run copied across an edge shows in the pieces.
TEST(DemanglePrinter, RunsAcrossTheBufferEdgeKeepThe255BytePieces)
{
  struct edge_case {
    size_t first, second;  // lengths of two names joined by "::"; 0: one name
  };
  for (edge_case c : std::vector<edge_case>{{1, 0}, {254, 0}, {255, 0}, {256, 0}, {257, 0},
                                            {510, 0}, {511, 0}, {512, 0}, {513, 0},
                                            {252, 300}, {253, 300}, {254, 2}, {255, 255},
                                            {256, 254}}) {
    std::string first(c.first, 'a'), second(c.second, 'b');
    std::string name = "_Z" + std::to_string(c.first) + first;
    std::string expected = first;
    if (c.second) {
      name = "_ZN" + std::to_string(c.first) + first + std::to_string(c.second) + second + "E";
      expected += "::" + second;
    }
    std::vector<std::string> pieces;
    ASSERT_EQ(demangle_with_sink(name.c_str(), 0, record_text, &pieces), 1) << name;
    // Full pieces until what remains fits; the last one holds the rest.
    std::vector<std::string> want;
    for (size_t at = 0; at < expected.size(); at += 255)
      want.push_back(expected.substr(at, 255));
    EXPECT_EQ(pieces, want) << c.first << " " << c.second;
  }
}

// Components built by hand, outside any parse.
struct hand_tree {
  demangle_component c[8];
  demangle_component *make(int i, component_kind kind, demangle_component *left,
                           demangle_component *right)
  {
    memset(&c[i], 0, sizeof c[i]);
    c[i].kind = kind;
    c[i].u.pair.left = left;
    c[i].u.pair.right = right;
    return &c[i];
  }
};

TEST(DemanglePrinter, HandBuiltTrees)
{
  hand_tree t = {};
  ASSERT_EQ(component_fill_name(&t.c[0], "A", 1), 1);
  t.make(1, CK_POINTER, &t.c[0], nullptr);
  size_t size = 0;
  char *text = demangle_print_to_string(0, &t.c[1], 100, &size);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "A*");
  EXPECT_EQ(size, 128u);  // the estimate rounded up to a power of two
  free(text);

  // A component that is its own descendant fails instead of recursing.
  t.make(2, CK_POINTER, nullptr, nullptr);
  t.c[2].u.pair.left = &t.c[2];
  EXPECT_EQ(demangle_print_to_string(0, &t.c[2], 0, &size), nullptr);
  EXPECT_EQ(size, 0u);
  t.make(3, CK_QUALIFIED, &t.c[0], nullptr);
  t.make(4, CK_TEMPLATE, &t.c[3], nullptr);
  t.c[3].u.pair.right = &t.c[4];
  EXPECT_EQ(demangle_print_to_string(0, &t.c[4], 0, &size), nullptr);

  // Kinds that only print inside their parent, and unknown kinds.
  for (component_kind kind : {CK_CAST, CK_BINARY_OPERANDS, CK_TERNARY_FIRST, CK_TERNARY_REST}) {
    t.make(5, kind, &t.c[0], &t.c[0]);
    EXPECT_EQ(demangle_print_to_string(0, &t.c[5], 0, &size), nullptr) << kind;
  }
  t.make(5, static_cast<component_kind>(82), &t.c[0], nullptr);
  EXPECT_EQ(demangle_print_to_string(0, &t.c[5], 0, &size), nullptr);
  ASSERT_EQ(component_fill_dtor(&t.c[6], 2, &t.c[0]), 1);
  std::vector<size_t> pieces;
  EXPECT_EQ(demangle_print_tree(0, &t.c[6], record_piece, &pieces), 1);
  EXPECT_EQ(pieces, (std::vector<size_t>{2}));  // "~A"
}

TEST(DemangleComponents, FillChecks)
{
  demangle_component c, name;
  ASSERT_EQ(component_fill_name(&name, "x", 1), 1);
  EXPECT_EQ(component_fill_name(nullptr, "x", 1), 0);
  EXPECT_EQ(component_fill_name(&c, nullptr, 1), 0);
  EXPECT_EQ(component_fill_name(&c, "x", 0), 0);
  EXPECT_EQ(component_fill_vendor_operator(&c, -1, &name), 0);
  EXPECT_EQ(component_fill_vendor_operator(&c, 2, nullptr), 0);
  EXPECT_EQ(component_fill_vendor_operator(&c, 2, &name), 1);
  EXPECT_EQ(c.kind, CK_VENDOR_OPERATOR);
  for (int kind : {0, 6}) {
    EXPECT_EQ(component_fill_ctor(&c, kind, &name), 0);
    EXPECT_EQ(component_fill_dtor(&c, kind, &name), 0);
  }
  EXPECT_EQ(component_fill_ctor(&c, 1, nullptr), 0);
  EXPECT_EQ(component_fill_ctor(&c, 5, &name), 1);
  EXPECT_EQ(c.kind, CK_CONSTRUCTOR);
}

TEST(DemangleComponents, ArrayCapacityAndNumbers)
{
  // "_Z1fv" has room for 10 components; the parse of "f()" needs 4.
  demangle_component components[10];
  demangle_component *substitutions[5];
  demangle_parse_state state;
  demangle_state_init("abcde", 0, 5, &state);
  EXPECT_EQ(state.components_capacity, 10);
  EXPECT_EQ(state.substitutions_capacity, 5);
  EXPECT_EQ(state.unresolved_state, 1);
  state.components = components;
  state.substitutions = substitutions;
  for (int i = 0; i < 10; i++)
    ASSERT_NE(demangle_new_component(&state), nullptr);
  EXPECT_EQ(demangle_new_component(&state), nullptr);

  struct {
    const char *text;
    bool ok;
    int32_t value;
  } numbers[] = {{"n5", true, -5}, {"2147483647", true, 2147483647},
                 {"2147483648", false, 0}, {"12345678901", false, 0}, {"7x", true, 7}};
  for (const auto &n : numbers) {
    demangle_state_init(n.text, 0, strlen(n.text), &state);
    int32_t value = 0;
    EXPECT_EQ(demangle_read_number(&state, &value), n.ok) << n.text;
    if (n.ok)
      EXPECT_EQ(value, n.value) << n.text;
  }
}

TEST(DemangleComponents, Tables)
{
  EXPECT_EQ(demangle_find_operator('c', 'v'), nullptr);
  const operator_row *ss = demangle_find_operator('s', 's');
  ASSERT_NE(ss, nullptr);
  EXPECT_STREQ(ss->name, "<=>");
  EXPECT_EQ(ss->operands, 2);
  for (int i = 0; i < 72; i++) {
    const operator_row &row = demangle_operators[i];
    EXPECT_EQ(demangle_find_operator(row.code[0], row.code[1]), &row) << row.code;
    EXPECT_EQ(static_cast<size_t>(row.length), strlen(row.name)) << row.code;
  }
  EXPECT_EQ(demangle_builtin_row('k', false), nullptr);
  EXPECT_EQ(demangle_builtin_row('u', false), nullptr);
  EXPECT_STREQ(demangle_builtin_row('n', true)->name, "decltype(nullptr)");
  EXPECT_EQ(demangle_builtin_row('x', true), nullptr);
}

TEST(DemangleText, GrowthDoublesFromTwo)
{
  growable_text text = {nullptr, 0, 0, false};
  growable_text_append(&text, "abcde", 5);
  EXPECT_EQ(text.capacity, 8u);
  EXPECT_STREQ(text.buffer, "abcde");
  growable_text_append(&text, "fgh", 3);
  EXPECT_EQ(text.capacity, 16u);
  EXPECT_EQ(text.length, 8u);
  EXPECT_STREQ(text.buffer, "abcdefgh");
  free(text.buffer);
  growable_text failed = {nullptr, 0, 0, true};
  growable_text_append(&failed, "x", 1);
  EXPECT_EQ(failed.buffer, nullptr);
}

// Each level doubles the printed text: S(k+1) = B<S(k), S(k)>, from S(0) = A
// or the mangled `leaf`.
std::string doubling_name(int levels, const std::string &leaf = "1A")
{
  static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string name = "_Z1f" + leaf + "1BIS_S_E";
  for (int k = 1; k < levels; k++) {
    std::string sub = "S" + std::string(1, digits[k]) + "_";
    name += "S0_I" + sub + sub + "E";
  }
  return name;
}

TEST(DemangleBounds, OutputThatGrowsExponentiallyFails)
{
  EXPECT_EQ(demangled(doubling_name(3).c_str(), 0x3),
            "f(A, B<A, A>, B<B<A, A>, B<A, A> >, B<B<B<A, A>, B<A, A> >, B<B<A, A>, B<A, A> > >)");
  // 30 levels would print gigabytes.
  EXPECT_EQ(demangled(doubling_name(30).c_str(), 0x3), null_result);
  // The sink has the text up to the limit, all of it (the limit falls inside
  // a long name), and no more.
  const std::string leaf = "14Abcdefghijklmn";
  std::vector<std::string> pieces;
  EXPECT_EQ(demangle_with_sink(doubling_name(30, leaf).c_str(), 0x3, record_text, &pieces), 0);
  std::string partial;
  for (const std::string &piece : pieces)
    partial += piece;
  EXPECT_EQ(partial.size(), demangle_output_limit);
  // 14 levels print 0.7 MiB, the start of what 30 levels print.
  std::string start = demangled(doubling_name(14, leaf).c_str(), 0x3);
  start.pop_back();  // ")"
  EXPECT_EQ(partial.compare(0, start.size(), start), 0);
  EXPECT_EQ(partial.substr(partial.size() - 11), "B<B<Abcdefg");
}

TEST(DemangleBounds, DeepNestingWithinTheLengthLimit)
{
  // Pointer chains, template arguments and function types nested as deep as
  // 1024 characters allow: each either prints or fails, without exhausting
  // the stack.
  std::string pointers = "_Z1f" + std::string(1018, 'P') + "i";
  EXPECT_EQ(demangled(pointers.c_str(), 0x3), "f(int" + std::string(1018, '*') + ")");
  // Past the length limit the parse succeeds, the printer's nesting limit fails.
  std::string deeper = "_Z1f" + std::string(1100, 'P') + "i";
  EXPECT_EQ(demangled(deeper.c_str(), 0x40003), null_result);
  std::string packs = "_Z1fI" + std::string(340, 'J') + std::string(340, 'E') + "Evv";
  EXPECT_EQ(demangled(packs.c_str(), 0x3), "void f<>()");
  // Function types returning pointers to function types, 250 deep.
  std::string functions = "_Z1f";
  std::string expected = "f(void ";
  for (int i = 0; i < 250; i++) {
    functions += "PF";
    expected += "(*";
  }
  functions += "v";
  for (int i = 0; i < 250; i++) {
    functions += "vE";
    expected += ")()";
  }
  expected += ")";
  EXPECT_EQ(demangled(functions.c_str(), 0x3), expected);
}

TEST(DemangleBounds, StackStaysBoundedWithoutLimits)
{
  // Without the length limit, each recursive rule still stops nesting before
  // the stack runs out; none of these could be printed anyway.
  auto repeat = [](const char *piece, int count) {
    std::string text;
    for (int i = 0; i < count; i++)
      text += piece;
    return text;
  };
  const std::string inputs[] = {
      "_Z1f" + repeat("P", 100000) + "i",
      "_Z1fI" + repeat("J", 100000) + repeat("E", 100000) + "Evv",
      "_Z" + repeat("Z1fvE", 50000) + "1x",
      "_Z1fIX" + repeat("ng", 50000) + "Li1EEEvv",
      "_Z" + repeat("Th8_", 50000) + "1fv",
      "_Z1f" + repeat("PF", 50000) + "v" + repeat("vE", 50000),
      "_Z1fN" + repeat("1a", 50000) + "E",
  };
  for (const std::string &input : inputs)
    EXPECT_EQ(demangled(input.c_str(), 0x40003), null_result) << input.substr(0, 12);
}

}  // namespace
