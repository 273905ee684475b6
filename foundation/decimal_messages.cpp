#include "foundation/decimal_messages.h"

namespace {
constexpr const char* kCatalogue = "rwdcml";

const RWMsgRecord kFromDblOver{kCatalogue, 0x3800, "[FROMDBLOVER] %s: overflow converting from double (%g)"};
const RWMsgRecord kFromPortOver{kCatalogue, 0x3801, "[FROMPORTOVER] %s: overflow converting from portable decimal"};
const RWMsgRecord kAssignOver{kCatalogue, 0x3802, "[ASSIGNOVER] %s: overflow in assignment"};
const RWMsgRecord kAddOver{kCatalogue, 0x3803, "[ADDOVER] %s: overflow in addition"};
const RWMsgRecord kSubOver{kCatalogue, 0x3804, "[SUBOVER] %s: overflow in subtraction"};
const RWMsgRecord kMulOver{kCatalogue, 0x3805, "[MULOVER] %s: overflow in multiplication"};
const RWMsgRecord kDivOver{kCatalogue, 0x3806, "[DIVOVER] %s: overflow in division"};
const RWMsgRecord kAddInexact{kCatalogue, 0x3807, "[ADDINEXACT] %s: inexact result in addition"};
const RWMsgRecord kSubInexact{kCatalogue, 0x3808, "[SUBINEXACT] %s: inexact result in subtraction"};
const RWMsgRecord kMulInexact{kCatalogue, 0x3809, "[MULINEXACT] %s: inexact result in multiplication"};
const RWMsgRecord kDivInexact{kCatalogue, 0x380a, "[DIVINEXACT] %s: inexact result in division"};
const RWMsgRecord kPowRange{kCatalogue, 0x380b, "[POWRANGE] %s: power out of range (%d>%u)"};
const RWMsgRecord kFormatsDiff{kCatalogue, 0x380c,
                               "[FORMATSDIFF]: positive and negative RWDecimalFormat attributes differ"};
}  // namespace

RWMsgId RWDCML_FROMDBLOVER() {
    return &kFromDblOver;
}
RWMsgId RWDCML_FROMPORTOVER() {
    return &kFromPortOver;
}
RWMsgId RWDCML_ASSIGNOVER() {
    return &kAssignOver;
}
RWMsgId RWDCML_ADDOVER() {
    return &kAddOver;
}
RWMsgId RWDCML_SUBOVER() {
    return &kSubOver;
}
RWMsgId RWDCML_MULOVER() {
    return &kMulOver;
}
RWMsgId RWDCML_DIVOVER() {
    return &kDivOver;
}
RWMsgId RWDCML_ADDINEXACT() {
    return &kAddInexact;
}
RWMsgId RWDCML_SUBINEXACT() {
    return &kSubInexact;
}
RWMsgId RWDCML_MULINEXACT() {
    return &kMulInexact;
}
RWMsgId RWDCML_DIVINEXACT() {
    return &kDivInexact;
}
RWMsgId RWDCML_POWRANGE() {
    return &kPowRange;
}
RWMsgId RWDCML_FORMATSDIFF() {
    return &kFormatsDiff;
}
