// A private TESSARO_HOME with a template folder mapped as "/", the template services the
// engine would hand its pages (built for this test alone), a request built from CGI
// variables, and a page run whose reply is kept in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "support/byte_buffer.h"
#include "support/registry.h"
#include "engine/server/reply_channel.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"
#include "support/server_settings.h"
#include "support/web_exception.h"
#include "platform/registry_store.h"
#include "tests/common/server_test_home.h"
#include "tests/templates/test_template_services.h"

class TestRequest : public CRequestReader {
public:
    TestRequest(std::map<std::string, std::string> cgi, std::string body = {})
        : m_cgi(std::move(cgi)), m_body(std::move(body)) {}

protected:
    void ReadEnvironment() override {
        std::string block;
        for (const auto& [name, value] : m_cgi) block += name + "=" + value + std::string(1, '\0');
        block += '\0';
        SplitEnvironmentBlock(block.data(), block.size());
    }
    void ReadContent(CByteBuffer& buffer) override { buffer.Append(m_body.data(), m_body.size()); }

private:
    std::map<std::string, std::string> m_cgi;
    std::string m_body;
};

class NullChannel : public CReplyChannel {
public:
    bool Write(const void*, std::size_t) override { return true; }
    bool WriteEmpty() override { return true; }
    void Flush() override {}
    void Close() override {}
};

struct PageOutcome {
    bool failed = false;
    std::string title;
    std::string detail;
    // The application's own error page that replaces the engine's ("" when none).
    std::string pageText;
    std::string body;
    std::string headers;
    bool ran = false;
};

class TemplateSite : public ServerTestHome {
protected:
    void SetUp() override {
        SaveEnvironment("TMPDIR", savedTemp_);
        ServerTestHome::SetUp();
        docs_ = home() + "/docs";
        std::filesystem::create_directories(docs_);
        root_ = OpenTessaroRootKey();
        registry_ = std::make_unique<CRegistrySettings>(root_.get());
        settings_ = std::make_unique<CServerSettings>(registry_.get());
        Set("Templates", "/", docs_);
        services_ = std::make_unique<TestTemplateServices>();
        ASSERT_EQ(services_->Problem(), "");
    }
    void TearDown() override {
        services_.reset();
        settings_.reset();
        registry_.reset();
        root_.reset();
        ServerTestHome::TearDown();
        // Other tests of this program run after this one in the same process (the temporary
        // home puts TESSARO_HOME back itself).
        RestoreEnvironment("TMPDIR", savedTemp_);
    }

    static void SaveEnvironment(const char* name, std::optional<std::string>& saved) {
        const char* value = std::getenv(name);
        saved = value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void RestoreEnvironment(const char* name, const std::optional<std::string>& saved) {
        if (saved)
            setenv(name, saved->c_str(), 1);
        else
            unsetenv(name);
    }

    void Set(const std::string& section, const std::string& name, const std::string& value) {
        registry_->Set(section, name, value);
    }

    // Writes a file below the document root (folders made as needed); returns its path.
    std::string Write(const std::string& relative, const std::string& text) {
        std::string path = docs_ + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Runs a page over a request and returns what it answered.
    template <class Page>
    PageOutcome RunPage(std::map<std::string, std::string> cgi, std::string body = {}) {
        TestRequest request(std::move(cgi), std::move(body));
        PageOutcome out;
        try {
            request.ParseCgiEnvironment();
        } catch (CWebException* e) {
            ADD_FAILURE() << e->GetMessage();
            e->Delete();
            return out;
        }
        NullChannel channel;
        CReplyWriter writer(&channel);
        Page page = MakePage<Page>();
        try {
            page.Run(nullptr, settings_.get(), &request, &writer);
        } catch (CWebException* e) {
            out.failed = true;
            out.title = e->GetMessage();
            out.detail = e->GetDetail();
            out.pageText = e->GetPageText();
            e->Delete();
        }
        page.Finish();
        out.ran = page.HasRun();
        out.body = writer.GetBufferedBody();
        out.headers = writer.GetHeaders();
        return out;
    }

    // A request for a template below the document root, as the web server names it.
    static std::map<std::string, std::string> Script(const std::string& scriptName, const std::string& query = {}) {
        return {{"SCRIPT_NAME", scriptName},
                {"QUERY_STRING", query},
                {"REQUEST_METHOD", "GET"},
                {"REMOTE_ADDR", "10.1.2.3"},
                {"HTTP_USER_AGENT", "TestBrowser/1.0"}};
    }

    const std::string& docs() const { return docs_; }
    CServerSettings* settings() const { return settings_.get(); }
    CRegistrySettings* registry() const { return registry_.get(); }
    TestTemplateServices& services() const { return *services_; }

    // A page as the engine's actions make it: over the services when the page uses them.
    template <class Page>
    Page MakePage() const {
        if constexpr (std::is_constructible_v<Page, const TemplateServices&>)
            return Page(services_->Services());
        else
            return Page();
    }

private:
    std::optional<std::string> savedTemp_;
    std::string docs_;
    std::unique_ptr<CRegistryKey> root_;
    std::unique_ptr<CRegistrySettings> registry_;
    std::unique_ptr<CServerSettings> settings_;
    std::unique_ptr<TestTemplateServices> services_;
};
