// A test library that imports velna_test_library_dep.dll, so that tests can
// see where the loader found that dependency.

extern "C" __declspec(dllimport) const wchar_t* VelnaTestLibraryDepPath();

extern "C" __declspec(
    dllexport) const wchar_t* VelnaTestLibraryDependencyPath() {
  return VelnaTestLibraryDepPath();
}
