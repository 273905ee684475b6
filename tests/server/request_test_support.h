// Shared pieces of the request-road tests: a channel that records what is
// written, and a home with a dispatcher over the home's registry settings.
#pragma once

#include <memory>
#include <string>

#include "support/registry.h"
#include "engine/server/reply_channel.h"
#include "engine/server/request_dispatcher.h"
#include "support/server_settings.h"
#include "tests/common/server_test_home.h"

class RecordingChannel : public CReplyChannel {
public:
    bool Write(const void* data, std::size_t length) override {
        text.append(static_cast<const char*>(data), length);
        return true;
    }
    bool WriteEmpty() override { return true; }
    void Flush() override {}
    void Close() override { ++closed; }
    std::string text;
    int closed = 0;
};

class DispatcherHome : public ServerTestHome {
protected:
    void SetUp() override {
        ServerTestHome::SetUp();
        root = OpenTessaroRootKey();
        registry = std::make_unique<CRegistrySettings>(root.get());
        settings = std::make_unique<CServerSettings>(registry.get());
        dispatcher.InitWith(settings.get(), nullptr);
    }

    std::unique_ptr<CRegistryKey> root;
    std::unique_ptr<CRegistrySettings> registry;
    std::unique_ptr<CServerSettings> settings;
    CRequestDispatcher dispatcher;
};
