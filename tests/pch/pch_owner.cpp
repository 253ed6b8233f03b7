// The program that owns the tests' shared precompiled header; it tests nothing and is never run.
int main() { return 0; }
