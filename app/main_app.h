// The application object: prepares the platform services, runs the main
// dialog and shuts down when it closes.
#pragma once

#include <cstdint>

class CMainApp {
 public:
  // The start-up sequence. Returns false: the process ends after the dialog.
  bool InitInstance();
};
