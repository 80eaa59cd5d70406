// The program's entry (placeholder until the game's start-up is written).
int main() {
    return 1;
}
