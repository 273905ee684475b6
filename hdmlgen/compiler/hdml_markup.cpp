#include "hdmlgen/compiler/hdml_markup.h"

#include <initializer_list>

#include "platform/ascii_text.h"

namespace hdml {

namespace {

constexpr std::string_view kElementNames[] = {"",       "HDML", "DISPLAY", "CHOICE", "ENTRY", "NODISPLAY",
                                              "ACTION", "CE",   "A",       "IMG",    "BR",    "LINE",
                                              "WRAP",   "TAB",  "CENTER",  "RIGHT"};

// Index = attribute code.
constexpr std::string_view kAttributeNames[] = {
    "",         "VERSION", "TTL",     "PUBLIC", "MARKABLE", "ACCESSDOMAIN", "ACCESSPATH", "NAME",     "TITLE",
    "BOOKMARK", "KEY",     "DEFAULT", "FORMAT", "EMPTYOK",  "NOECHO",       "IKEY",       "IDEFAULT", "METHOD",
    "TYPE",     "TASK",    "DEST",    "LABEL",  "VARS",     "RECEIVE",      "RETVALS",    "NEXT",     "CANCEL",
    "CLEAR",    "SRC",     "ALT",     "VALUE",  "POSTDATA", "ICON",         "SENDREFERER"};
static_assert(sizeof kAttributeNames / sizeof kAttributeNames[0] == kLastAttribute + 1);

bool SameName(std::string_view a, std::string_view b) { return tessaro::platform::EqualsNoCase(a, b); }

bool In(std::uint8_t code, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (AttributeName(code) == n) return true;
    return false;
}

// The attributes that send the browser somewhere.
bool IsTaskAttribute(std::uint8_t code) {
    return In(code, {"TASK", "DEST", "LABEL", "VARS", "RECEIVE", "RETVALS", "NEXT", "CANCEL", "CLEAR", "METHOD",
                     "POSTDATA", "SENDREFERER"});
}

bool IsCardAttribute(std::uint8_t code) {
    return In(code, {"NAME", "TITLE", "MARKABLE", "BOOKMARK"});
}

}  // namespace

std::string_view ElementName(Element element) {
    auto i = static_cast<std::uint8_t>(element);
    return i <= kLastElement ? kElementNames[i] : std::string_view();
}

std::string_view AttributeName(std::uint8_t code) {
    return code <= kLastAttribute ? kAttributeNames[code] : std::string_view();
}

Element FindElement(std::string_view name) {
    for (std::uint8_t i = 1; i <= kLastElement; ++i)
        if (SameName(name, kElementNames[i])) return static_cast<Element>(i);
    return Element::None;
}

std::uint8_t FindAttribute(std::string_view name) {
    for (std::uint8_t i = 1; i <= kLastAttribute; ++i)
        if (SameName(name, kAttributeNames[i])) return i;
    return 0;
}

bool IsCard(Element e) {
    return e == Element::Display || e == Element::Choice || e == Element::Entry || e == Element::NoDisplay;
}

bool IsEmptyElement(Element e) {
    switch (e) {
        case Element::Action:
        case Element::Img:
        case Element::Br:
        case Element::Line:
        case Element::Wrap:
        case Element::Tab:
        case Element::Center:
        case Element::Right:
            return true;
        default:
            return false;
    }
}

bool TakesText(Element e) {
    return e == Element::Display || e == Element::Choice || e == Element::Entry || e == Element::Ce || e == Element::A;
}

bool AllowedInside(Element child, Element parent) {
    switch (child) {
        case Element::Hdml:
            return parent == Element::None;
        case Element::Display:
        case Element::Choice:
        case Element::Entry:
        case Element::NoDisplay:
            return parent == Element::Hdml;
        case Element::Action:
            return parent == Element::Hdml || IsCard(parent);
        case Element::Ce:
            return parent == Element::Choice;
        case Element::A:
            return TakesText(parent) && parent != Element::A;
        case Element::None:
            return false;
        default:
            return TakesText(parent);
    }
}

bool TakesAttribute(Element e, std::uint8_t a) {
    switch (e) {
        case Element::Hdml:
            return In(a, {"VERSION", "TTL", "PUBLIC", "MARKABLE", "ACCESSDOMAIN", "ACCESSPATH"});
        case Element::Display:
        case Element::NoDisplay:
            return IsCardAttribute(a);
        case Element::Entry:
            return IsCardAttribute(a) || In(a, {"KEY", "DEFAULT", "FORMAT", "EMPTYOK", "NOECHO"});
        case Element::Choice:
            return IsCardAttribute(a) || In(a, {"KEY", "DEFAULT", "IKEY", "IDEFAULT", "METHOD"});
        case Element::Action:
            return In(a, {"TYPE", "ICON"}) || IsTaskAttribute(a);
        case Element::Ce:
            return In(a, {"VALUE"}) || IsTaskAttribute(a);
        case Element::A:
            return IsTaskAttribute(a);
        case Element::Img:
            return In(a, {"SRC", "ALT", "NAME", "ICON"});
        default:
            return false;
    }
}

bool RequiresAttribute(Element e, std::uint8_t a) {
    switch (e) {
        case Element::Hdml:
            return AttributeName(a) == "VERSION";
        case Element::Entry:
            return AttributeName(a) == "KEY";
        case Element::Action:
            return AttributeName(a) == "TYPE" || AttributeName(a) == "TASK";
        case Element::Img:
            return AttributeName(a) == "SRC";
        default:
            return false;
    }
}

}  // namespace hdml
