#include "output/codesite_output.h"

namespace norvale {

std::unique_ptr<IOutput> MakeCodeSiteViewer() { return std::make_unique<TNoViewer>(); }

}  // namespace norvale
