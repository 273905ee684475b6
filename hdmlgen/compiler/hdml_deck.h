// A parsed deck: a tree of elements and text runs. Texts keep variable references
// as "$(name)" and a literal dollar as "$$", in the deck as in this tree.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hdmlgen/compiler/hdml_markup.h"

namespace hdml {

struct Node {
    Element element = Element::None;  // None: a text run
    std::vector<std::pair<std::uint8_t, std::string>> attributes;
    std::string text;
    std::vector<Node> children;
};

}  // namespace hdml
