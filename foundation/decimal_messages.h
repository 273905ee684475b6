#pragma once
// Message records of the decimal classes (catalogue "rwdcml"). The %s of each
// text receives the class name of the decimal width.

#include "foundation/message.h"

RWMsgId RWDCML_FROMDBLOVER();   // 0x3800
RWMsgId RWDCML_FROMPORTOVER();  // 0x3801
RWMsgId RWDCML_ASSIGNOVER();    // 0x3802
RWMsgId RWDCML_ADDOVER();       // 0x3803
RWMsgId RWDCML_SUBOVER();       // 0x3804
RWMsgId RWDCML_MULOVER();       // 0x3805
RWMsgId RWDCML_DIVOVER();       // 0x3806
RWMsgId RWDCML_ADDINEXACT();    // 0x3807
RWMsgId RWDCML_SUBINEXACT();    // 0x3808
RWMsgId RWDCML_MULINEXACT();    // 0x3809
RWMsgId RWDCML_DIVINEXACT();    // 0x380a
RWMsgId RWDCML_POWRANGE();      // 0x380b
RWMsgId RWDCML_FORMATSDIFF();   // 0x380c
