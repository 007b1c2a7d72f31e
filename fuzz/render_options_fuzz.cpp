// Arguments split at NUL bytes go through the option parser and, when they
// parse, through the parameter validation: no input may crash either, and an
// accepted record must be one a plot can use.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "param_validation.h"
#include "render_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    fernwise::ParseResult parsed = fernwise::parseRenderOptions(args);
    if (!parsed.options) return 0;
    fernwise::FractalParams params = fernwise::defaultParams(parsed.options->type);
    if (fernwise::validateParams(parsed.options->type, parsed.options->entry, params) != fernwise::noParamError) return 0;
    const bool sane = params.xmin < params.xmax && params.ymin < params.ymax && params.iterations >= 1 &&
                      params.iterations <= 16384 && params.sizeLimit >= 1.0 && params.sizeLimit <= 65536.0 &&
                      std::isfinite(params.param1);
    if (!sane) __builtin_trap();
    // The dialog's text parsing sees the same strings.
    for (const std::string& arg : args) {
        (void)fernwise::parseDecimalPrefix(arg);
        (void)fernwise::parseIntegerPrefix(arg);
    }
    return 0;
}
