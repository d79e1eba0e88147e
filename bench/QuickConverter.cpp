// A converter that exits at once: what is left of an extraction's cost is starting and
// ending a process.
int main()
{
    return 0;
}
