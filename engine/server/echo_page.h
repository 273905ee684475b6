// A diagnostic page that echoes the request back, for driving the request road
// end to end. Registered (as action "Echo", and as the default while no other
// default exists) only when Debug\EchoPage is "1".
#pragma once

#include <memory>

#include "engine/server/dispatched_page.h"

class CRequestDispatcher;

class CEchoPage : public CDispatchedPage {
public:
    // URL parameters that steer it: sleep=<ms>, bytes=<n>, nul=1, fail=1,
    // pagetext=<text>, redirect=<url>, header=<line>.
    void Run(CWebLog* webLog, CServerSettings* settings, CRequestReader* reader, CReplyWriter* writer) override;
    bool HasRun() const override { return m_ran; }

private:
    bool m_ran = false;
};

void RegisterEchoPage(CRequestDispatcher& dispatcher, bool asDefault);
// Reads Debug\EchoPage through the dispatcher's settings.
void RegisterEchoPageWhenEnabled(CRequestDispatcher& dispatcher);
