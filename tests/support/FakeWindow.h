#pragma once

#include "main_window/frmMain.h"
#include "support/WindowFakes.h"

namespace xmlpellor::test {

// The main window's seven controls as fakes. A test fixture derives from it
// and builds its frmMain from Controls(), after the controls exist.
struct FakeWindowControls {
  FakeForm form;
  FakeTextBox txtXml, txtXsl;
  FakeButton cmdApplyXsl, cmdBrowseXml, cmdBrowseXsl;
  FakeBrowser wbr;
  FakeCommonDialog cdl;

  frmMain::Controls Controls() {
    return {form, txtXml, txtXsl, cmdApplyXsl, cmdBrowseXml, cmdBrowseXsl, wbr, cdl};
  }
};

}  // namespace xmlpellor::test
