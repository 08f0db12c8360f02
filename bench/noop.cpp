// Starts and ends: the floor under every whole-run figure.
int main() { return 0; }
