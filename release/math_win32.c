/* math_win32.c -- the trigonometric functions and square roots of the
 * 32-bit Windows release image, as the x87 instructions: what the C
 * library's versions compute for every finite argument, without their path
 * for infinite and NaN ones (and negative ones for the roots), which sets
 * errno and raises the library's math-error hook. The show passes none of
 * those. Saves some 1.2 KB with the hook. */

/* The instruction `op` on st(0); an argument of 2^63 or more, which it
 * leaves as it is, reduced by 2 pi (partial remainders until complete)
 * and the instruction run again. */
#define X87_PERIODIC(op)                        \
    "\t" op "\n"                               \
    "\tfnstsw %%ax\n"                          \
    "\ttestw $0x400, %%ax\n"                   \
    "\tjz 2f\n"                                \
    "\tfldpi\n"                                \
    "\tfadd %%st(0), %%st\n"                   \
    "\tfxch %%st(1)\n"                         \
    "1:\tfprem1\n"                             \
    "\tfnstsw %%ax\n"                          \
    "\ttestw $0x400, %%ax\n"                   \
    "\tjnz 1b\n"                               \
    "\tfstp %%st(1)\n"                         \
    "\t" op "\n"                               \
    "2:\n"

/* sin and cos: the result rounded to double through memory, as the
 * library returns it. */
double sin(double x)
{
    double result;
    __asm__(X87_PERIODIC("fsin") "\tfstpl %0\n" : "=m"(result) : "t"(x) : "eax", "st");
    return result;
}

double cos(double x)
{
    double result;
    __asm__(X87_PERIODIC("fcos") "\tfstpl %0\n" : "=m"(result) : "t"(x) : "eax", "st");
    return result;
}

/* fsincos leaves the cosine on top, the sine below it. */
void sincos(double x, double* s, double* c)
{
    long double cosine, sine = x;
    __asm__(X87_PERIODIC("fsincos") : "=t"(cosine), "=u"(sine) : "0"(sine) : "eax");
    *s = (double)sine;
    *c = (double)cosine;
}

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
