#include "gateway/environment_block.h"

namespace ksml {

std::string BuildEnvironmentBlock(const char* const* environment) {
    std::string block;
    for (const char* const* entry = environment; entry && *entry; ++entry) {
        std::string_view text(*entry);
        size_t equals = text.find('=');
        std::string_view name = text.substr(0, equals);
        std::string_view value = equals == std::string_view::npos ? std::string_view() : text.substr(equals + 1);
        AppendEnvironmentEntry(block, name, value);
        if (name == "SCRIPT_NAME" && !value.empty()) AppendEnvironmentEntry(block, "TS_TEMPLATE_PATH", "");
    }
    tessaro::interfaces::EndEnvironmentBlock(block);
    return block;
}

}  // namespace ksml
