// Serves a report graphic from the report work folder once, then deletes it.
#pragma once

#include <string>

#include "engine/templates/pages/web_page.h"

class CGetGraphicPage : public CWebPage {
public:
    using CWebPage::Run;
    void Run() override;
};

// The report work folder GetGraphic serves from: $TESSARO_HOME/tsr (mode 0700,
// created by the engine), never a folder other users can write into.
std::string GraphicDirectory();
// True for a plain image file name: no directory part, no "..", an image extension.
bool IsServableGraphicName(const std::string& name);
