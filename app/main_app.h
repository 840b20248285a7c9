// The application object: prepares the platform services, runs the main
// dialog and shuts down when it closes.
#pragma once

#include <cstdint>

#include "app/open_files.h"

class CMainApp {
 public:
  // The start-up sequence. Returns false: the process ends after the dialog.
  bool InitInstance();

  // The files from the command line, opened once the dialog shows.
  app::OpenPlan m_open;
};
