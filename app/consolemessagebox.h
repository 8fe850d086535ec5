#pragma once
// A box service that prints each box on standard output and answers it with its
// default button, so a script (or a test that starts the program) can read the boxes.
#include "platform/messagebox.h"

namespace app {

class ConsoleMessageBox : public platform::MessageBoxService {
public:
    platform::MsgAnswer show(const platform::MessageBoxRequest& request) override;
};

} // namespace app
