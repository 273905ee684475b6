// The HDML vocabulary the compiler knows: elements with their codes in the compiled
// deck, where each may stand, and the attributes each takes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hdml {

enum class Element : std::uint8_t {
    None = 0,
    Hdml = 1,
    Display = 2,
    Choice = 3,
    Entry = 4,
    NoDisplay = 5,
    Action = 6,
    Ce = 7,
    A = 8,
    Img = 9,
    Br = 10,
    Line = 11,
    Wrap = 12,
    Tab = 13,
    Center = 14,
    Right = 15,
};
inline constexpr std::uint8_t kLastElement = 15;

// Attribute codes of the compiled deck; 0 is no attribute.
inline constexpr std::uint8_t kLastAttribute = 33;

// Upper-case names; "" for an unknown code.
std::string_view ElementName(Element element);
std::string_view AttributeName(std::uint8_t code);
// Case-insensitive look-ups; Element::None / 0 when unknown.
Element FindElement(std::string_view name);
std::uint8_t FindAttribute(std::string_view name);

bool IsCard(Element element);
// Elements without content or end tag.
bool IsEmptyElement(Element element);
// Cards and elements in which display text and its markup may stand.
bool TakesText(Element element);
// May child stand directly inside parent (Element::None = outside any element)?
bool AllowedInside(Element child, Element parent);
// Does the element take the attribute, and must it be given?
bool TakesAttribute(Element element, std::uint8_t attribute);
bool RequiresAttribute(Element element, std::uint8_t attribute);

}  // namespace hdml
