// Runs the built jexrecover with arguments, its output kept in a folder of
// its own.
#pragma once

#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace jextest {

struct Outcome {
    int exit = -1;
    std::string out;
    std::string err;
};

class JexrecoverRunner : public ::testing::Test {
protected:
    Outcome Run(const std::string& arguments)
    {
        std::string command = Quote(std::string(JEX_BIN_DIR) + "/jexrecover") + " " + arguments + " >" +
                              Quote(dir.File("stdout")) + " 2>" + Quote(dir.File("stderr"));
        int status = std::system(command.c_str());
        Outcome outcome;
        outcome.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = ReadText(dir.File("stdout"));
        outcome.err = ReadText(dir.File("stderr"));
        return outcome;
    }

    TempDir dir;
};

} // namespace jextest
