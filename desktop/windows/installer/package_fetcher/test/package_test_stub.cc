// A small Windows program that the package tests append payloads to and
// sign; it only has to be a valid PE32+ image.

int main() { return 0; }
