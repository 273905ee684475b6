// The base of every page the dispatcher runs: set-up, then the run step (or a
// substitution file), then finish.
#pragma once

#include <string>

#include "engine/server/dispatched_page.h"

class CWebPage : public CDispatchedPage {
public:
    CWebPage() = default;
    ~CWebPage() override = default;

    // The dispatcher's single entry.
    void Run(CWebLog* webLog, CServerSettings* settings, CRequestReader* reader, CReplyWriter* writer) override;
    void Finish() override {}
    bool HasRun() const override { return m_ran; }

    virtual void Setup() {}
    virtual void Run() {}
    // One call per "<<<@WEB_SUB:name>>>" marker of a substitution file.
    virtual void OnSubstitution(std::string name) { (void)name; }

    void SetSubstitutionFile(const std::string& path) { m_substitutionFile = path; }
    void ServeSubstitutionFile();

    CWebLog* GetWebLog() const { return m_webLog; }
    CServerSettings* GetSettings() const { return m_settings; }
    CRequestReader* GetReader() const { return m_reader; }
    CReplyWriter* GetWriter() const { return m_writer; }
    // A page clears it when its reply must not get the debug and benchmark footers.
    void SetRan(bool ran) { m_ran = ran; }

protected:
    // For tests and tools that drive the steps themselves.
    void Attach(CWebLog* webLog, CServerSettings* settings, CRequestReader* reader, CReplyWriter* writer);

private:
    CWebLog* m_webLog = nullptr;
    CServerSettings* m_settings = nullptr;
    CRequestReader* m_reader = nullptr;
    CReplyWriter* m_writer = nullptr;
    std::string m_substitutionFile;
    bool m_ran = false;
};
