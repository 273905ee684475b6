#include "engine/server/client_scope.h"

#include "support/registry.h"

CClientScope::CClientScope(CClientIdSource& idSource, tessaro::platform::TimedMutex& idLock)
    : m_idSource(idSource), m_idLock(idLock), m_current(&m_disabledStore) {
    std::unique_ptr<CRegistryKey> root = OpenTessaroRootKey();
    m_clientsKey.reset(root->CreateSubKey("Clients"));
    // Checked and written together so a concurrent first id is never reset to "";
    // the write lock is only taken while the value is still missing.
    if (m_clientsKey->ValueExists("LastID")) return;
    m_clientsKey->RunInTransaction([this] {
        if (!m_clientsKey->ValueExists("LastID")) m_clientsKey->SetString("LastID", "");
    });
}

CClientScope::~CClientScope() = default;

void CClientScope::EnableClientManagement(bool on) {
    if (!on) {
        m_current = &m_disabledStore;
        return;
    }
    if (!m_registryStore) m_registryStore = std::make_unique<CRegistryClientStore>(m_idSource, *m_clientsKey, m_idLock);
    m_current = m_registryStore.get();
}
