#pragma once
// The user of a bench program: types "OUI" at each typed confirmation,
// prints every other message; and an event pump with nothing to pump.

#include <cstdio>

#include "ui/DialogPort.h"
#include "ui/Environment.h"

namespace kuv::bench {

class TypingUser : public DialogPort {
public:
    void ShowDialog() override {
        if (DialogMode == kDialogConfirmUpper) {
            DialogText = "OUI";
            DialogMode = 6;
            return;
        }
        std::printf("%s\n", DialogText.c_str());
        DialogMode = 1;
    }
};

class NoPump : public backup::EventPump {
public:
    void DoEvents() override {}
    void Wait(int) override {}
};

}  // namespace kuv::bench
