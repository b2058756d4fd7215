/* math_win32.c -- sqrt and sqrtf for the Windows release image: the x87
 * instruction on the argument as passed, the result left at the
 * instruction's precision, as the C library's versions return it for every
 * argument the show passes (zero and up, finite). What is left out is the
 * library's path for negative and NaN arguments, which sets errno and
 * raises its math-error hook (0.7 KB with the hook). */

double sqrt(double x)
{
    __asm__("fsqrt" : "+t"(x));
    return x;
}

float sqrtf(float x)
{
    __asm__("fsqrt" : "+t"(x));
    return x;
}
