// The Wine tests' stand-in for the handset's driver: a device registered
// through SetupAPI with an interface of the download class, marked present,
// whose dosdevices name a test links to a pty.
#pragma once
#include <string>

namespace tw::test {

// The interface's path as SetupAPI gives it, and its dosdevices name.
inline constexpr const char* kTestInterfacePath =
    "\\\\?\\ROOT#TIDEWELL_TEST#0000#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}";
inline constexpr const char* kTestInterfaceLink =
    "root#tidewell_test#0000#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}";

// Registers the device (once per prefix) and marks its interface present.
// The path SetupAPI gives, or empty with the reason in *error.
std::string RegisterTestDevice(std::string* error);

// A serial port of the prefix as Windows lists one: a device of the ports
// class named portName (its PortName) with a COM port interface, present
// until RemoveTestPort. The interface's path, or empty with the reason in *error.
std::string RegisterTestPort(const std::string& portName, std::string* error);
// Marks the port's interface (its path) no longer present.
void RemoveTestPort(const std::string& path);

}  // namespace tw::test
