#include "engine/parser/ss_table_serial.h"

#include <atomic>

std::uint64_t SSNextTableSerial() {
    static std::atomic<std::uint64_t> next{0};
    return ++next;
}
