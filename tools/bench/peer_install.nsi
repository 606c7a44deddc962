; The peer installer of the install benchmark (tools/bench/
; peer_install_benchmark.py): the same payload as our full installer, packed
; the way NSIS installers usually are, with one uninstall registry value and
; one shortcut. Compiled with
;   makensis -DPAYLOAD=<folder> -DOUTFILE=<installer.exe> peer_install.nsi
; and run silently with /S /D=<install folder>.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

Name "Velna Peer Benchmark"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Velna Peer Benchmark"
RequestExecutionLevel user
ShowInstDetails nevershow

Section
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}/*"
  WriteRegStr HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall\VelnaPeerBenchmark" \
      "UninstallString" '"$INSTDIR\launcher.exe" --uninstall'
  CreateShortcut "$DESKTOP\Velna Peer Benchmark.lnk" "$INSTDIR\launcher.exe"
SectionEnd
