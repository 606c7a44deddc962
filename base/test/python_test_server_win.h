// PythonTestServer: starts and stops a test server written in python3, for
// tests under Wine.
//
// Wine runs the Linux python3 when CreateProcess is given its path on the
// root drive, but hands back no usable process handle, so the two sides
// talk through marker files in a state folder of the server's own: the
// script is started as
//   python3 "<script>" --state-dir "<the folder's Linux path>" <arguments>
// writes the port it listens on to "port", ends when "stop" appears and
// then writes "stopped". What else the folder holds (files to serve,
// request records) is between the script and its test class.
//
// Used from one thread; not under Wine, Start fails.

#ifndef BASE_TEST_PYTHON_TEST_SERVER_WIN_H_
#define BASE_TEST_PYTHON_TEST_SERVER_WIN_H_

#include <string>

#include "base/files/file_path.h"
#include "base/test/scoped_temp_dir.h"

namespace base {

class PythonTestServer {
 public:
  // |script| is the Linux path of the server's script.
  explicit PythonTestServer(std::string script);
  PythonTestServer(const PythonTestServer&) = delete;
  PythonTestServer& operator=(const PythonTestServer&) = delete;
  // Stops the server and deletes its state folder.
  ~PythonTestServer();

  // Creates the state folder now, for files the script needs from its
  // start. False when one is already held.
  bool CreateStateDir();
  // Starts the script with |arguments| (each with a space before it) after
  // the state folder, creating the folder first unless CreateStateDir did,
  // and waits up to 30 s for its port. False when it is already running,
  // cannot be started, or does not listen in time (it is stopped then).
  bool Start(const std::u16string& arguments);
  // Asks the server to end, waits up to 10 s until it has, and deletes the
  // state folder; true when it has ended (or was not running).
  bool Stop();

  int port() const { return port_; }
  const FilePath& state_dir() const { return state_dir_.GetPath(); }

 private:
  const std::string script_;
  ScopedTempDir state_dir_;
  int port_ = 0;
  bool running_ = false;
};

// The Linux path of |path|, through Wine's own export; empty when not
// running under Wine.
std::string GetWineUnixPath(const FilePath& path);

}  // namespace base

#endif  // BASE_TEST_PYTHON_TEST_SERVER_WIN_H_
