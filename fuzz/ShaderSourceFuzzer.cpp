/* Feeds arbitrary shader sources and include graphs to the preprocessor, the include listing
   and inlining and the tag replacement. The bytes after the first are split at zero bytes into
   files; file 0 is the source and the others are its include table, under the names "1", "2",
   ... The first byte chooses substitution and line directives. A crash, a sanitizer report, a
   hang or unbounded growth is a finding. */

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Utils/IncludeInlining.h"
#include "ZarvikEngine/Utils/Preprocessor.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Utils;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool substitute = data[0] & 1;
    const bool lineDirectives = data[0] & 2;
    const std::string_view bytes{reinterpret_cast<const char*>(data) + 1, size - 1};
    std::vector<std::string_view> files;
    for (std::size_t begin = 0;;) {
        const std::size_t zero = bytes.find('\0', begin);
        files.push_back(bytes.substr(begin, zero - begin));
        if (zero == std::string_view::npos)
            break;
        begin = zero + 1;
    }

    Error silenceErrors{nullptr};
    Warning silenceWarnings{nullptr};

    IncludeTable table;
    for (std::size_t i = 1; i != files.size(); ++i)
        table.emplace(std::to_string(i), files[i]);
    /* Followed level by level, as a caller would, and only so far: includes may form cycles */
    std::string text{files[0]};
    for (int level = 0; level != 4 && text.size() < (1u << 20); ++level)
        text = inlineIncludes(text, table, lineDirectives);
    (void)getIncludesList(text);

    /* The include files as a prelude whose definitions govern the inlined text */
    Preprocessor preprocessor{substitute};
    for (std::size_t i = 1; i != files.size(); ++i)
        preprocessor << files[i];
    preprocessor << text;
    int resolved = 0;
    for (const auto& symbol : preprocessor.symbols()) {
        if (++resolved > 16)
            break;
        (void)preprocessor.resolveValue(symbol.first);
    }

    const std::string_view value = files.size() > 1 ? files[1] : "value\n";
    (void)replaceTagsShader(files[0], {{"A", value}, {"B", "b\n"}}, lineDirectives);
    return 0;
}
