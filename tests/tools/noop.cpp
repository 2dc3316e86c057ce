// Does nothing: built as kestrel is linked (a static PIE, relocations
// read-only and bound at start), it is the floor of a process start-up that
// the benchmark measures kestrel against.
int main() { return 0; }
