// Entry point. Start-up and teardown are filled in as the layers land.
int main() { return 0; }
