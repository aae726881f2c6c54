// Plain luminance view of one picture.
uniform sampler2D tex;
uniform vec3 weight;  // declared for override files; the built-in weights are fixed

void main()
{
    vec4 c = texture2D(tex, gl_TexCoord[0].st);
    float i = 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
    gl_FragColor = vec4(i, i, i, 1.0);
}
