#include "engine/server/body_memory_budget.h"

#include <filesystem>

#include "platform/home.h"
#include "support/server_settings.h"

std::string BodyFileFolder() {
    return tessaro::platform::HomePath("tmp/body");
}

void RemoveLeftoverBodyFiles() {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it(BodyFileFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code removeError;
        // A link is removed itself, never what it points at.
        if (!it->is_directory(removeError) || it->is_symlink(removeError)) fs::remove(it->path(), removeError);
    }
}

std::size_t MaxBodyMemoryBytes(CServerSettings* settings) {
    if (settings == nullptr) return kDefaultMaxBodyMemoryBytes;
    long v = settings->GetNumber("Server", "MaxBodyMemoryBytes", static_cast<long>(kDefaultMaxBodyMemoryBytes));
    return v > 0 ? static_cast<std::size_t>(v) : kDefaultMaxBodyMemoryBytes;
}

bool BodyMemoryReservation::TryTake(std::shared_ptr<BodyMemoryBudget> budget, std::size_t bytes, std::size_t cap) {
    Release();
    if (!budget || bytes > kMaxBodyInMemoryBytes || bytes > cap) return false;
    std::size_t held = budget->m_held.load();
    do {
        if (held + bytes > cap) return false;
    } while (!budget->m_held.compare_exchange_weak(held, held + bytes));
    m_budget = std::move(budget);
    m_bytes = bytes;
    return true;
}

void BodyMemoryReservation::Release() {
    if (m_bytes == 0) return;
    m_budget->m_held -= m_bytes;
    m_budget.reset();
    m_bytes = 0;
}
