// A program without a version resource, for the reader to find none in.
int main() { return 0; }
