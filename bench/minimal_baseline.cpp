// Baseline of the programs' size: what the toolchain's static start-up
// code alone weighs.
int main()
{
    return 0;
}
