// Serves a report graphic from the report work area once, then deletes it.
#pragma once

#include <string>

#include "engine/templates/web_page.h"

class CGetGraphicPage : public CWebPage {
public:
    using CWebPage::Run;
    void Run() override;
};

// The directory GetGraphic serves from: <temporary directory>/tsr.
std::string GraphicDirectory();
// True for a plain image file name: no directory part, no "..", an image extension.
bool IsServableGraphicName(const std::string& name);
