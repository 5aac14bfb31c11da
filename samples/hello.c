/* A small C file for trying the driver: vuz -### -c samples/hello.c */
int printf(const char *, ...);

int main(void)
{
  printf("hello from armv6\n");
  return 0;
}
