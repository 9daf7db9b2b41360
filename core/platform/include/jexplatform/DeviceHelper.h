// A block device opened read-only by the small privileged helper
// (jexfilerecovery-open, run through pkexec): the program runs as the user,
// and only the open descriptor of the device crosses over.
#pragma once

#include <string>
#include <vector>

// Runs command (the helper, or pkexec and the helper) with device as its
// last argument and a Unix socket as its standard output, and takes the
// descriptor it hands over. -1, with error set to the helper's reason (or
// why it could not be run), when it hands none. Waits for the helper, and
// so for whoever it asks for a password.
int ZelOpenThroughHelper(const std::vector<std::string>& command, const std::string& device, std::string& error);
