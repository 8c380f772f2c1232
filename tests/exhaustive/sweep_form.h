// The sweeps' choice of what they check: the exports by default, or one of
// the exact sine-cosine's forms this processor runs ("--form fused"), so
// that a form the exports do not bind here is swept too.
#pragma once

#include <cstdio>
#include <string_view>

#include "TarnLib2DLL.h"
#include "trig/trig.h"

namespace tarn::sweep {

inline trig::ExactSinCosForm& swept_form() {
  static trig::ExactSinCosForm form = {"exports", MxSinCosFFF, MxSinCosFFD, MxSinCosDDD,
                                       MxSinCosDDF};
  return form;
}

// Takes "--form NAME" off the end of the arguments; false (with a message
// naming the forms there are) when NAME is not one of them, for which the
// sweeps exit with status 3.
inline bool take_form_option(int& argc, char** argv) {
  if (argc < 3 || std::string_view(argv[argc - 2]) != "--form") return true;
  const std::string_view wanted = argv[argc - 1];
  argc -= 2;
  trig::ExactSinCosForm forms[trig::kMaxExactSinCosForms];
  const int count = trig::exact_sin_cos_forms(forms);
  for (int i = 0; i < count; ++i) {
    if (wanted == forms[i].name) {
      swept_form() = forms[i];
      return true;
    }
  }
  std::fprintf(stderr,
               "no form \"%.*s\" on this processor; it runs:", static_cast<int>(wanted.size()),
               wanted.data());
  for (int i = 0; i < count; ++i) std::fprintf(stderr, " \"%s\"", forms[i].name);
  std::fprintf(stderr, "\n");
  return false;
}

}  // namespace tarn::sweep
