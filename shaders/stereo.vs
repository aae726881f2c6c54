// Passes the first texture coordinate set through; the position goes through the
// fixed-function transform so that the same quad code serves mono and stereo frames.
void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();
}
