// Placeholder until the encoder probe lands.
int main() { return 0; }
